// How deep a property list nests, told before the library reads it.
#include "shared/PlistDepth.h"

#include <QTest>

using tavoren::shared::PlistDepth;

namespace {
QByteArray nestedXml(int depth, const QByteArray &between = {})
{
    QByteArray xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [ <!ENTITY x \"y\"> ]>\n<plist version=\"1.0\">";
    for (int i = 1; i < depth; ++i)
        xml += "<array>" + between;
    for (int i = 1; i < depth; ++i)
        xml += "</array>";
    return xml + "</plist>";
}

// A binary list of arrays: objects[i] holds the indexes object i refers to.
QByteArray binary(const QList<QList<int>> &objects, int top = 0)
{
    QByteArray bytes = "bplist00";
    QList<int> offsets;
    for (const QList<int> &refs : objects) {
        offsets.append(int(bytes.size()));
        if (refs.size() < 15) {
            bytes += char(0xA0 | refs.size());
        } else {
            bytes += char(0xAF);
            bytes += char(0x11); // a two-byte integer follows
            bytes += char(refs.size() >> 8);
            bytes += char(refs.size() & 0xFF);
        }
        for (const int ref : refs) {
            bytes += char(ref >> 8);
            bytes += char(ref & 0xFF);
        }
    }
    const int table = int(bytes.size());
    for (const int offset : offsets) {
        bytes += char(offset >> 8);
        bytes += char(offset & 0xFF);
    }
    QByteArray trailer(32, '\0');
    trailer[6] = 2; // offset size
    trailer[7] = 2; // reference size
    trailer[15] = char(objects.size());
    trailer[14] = char(objects.size() >> 8);
    trailer[23] = char(top);
    trailer[30] = char(table >> 8);
    trailer[31] = char(table & 0xFF);
    return bytes + trailer;
}

QList<QList<int>> chain(int length, int refsPerLevel = 1)
{
    QList<QList<int>> objects;
    for (int i = 0; i < length; ++i)
        objects.append(i + 1 < length ? QList<int>(refsPerLevel, i + 1) : QList<int>());
    return objects;
}
} // namespace

class TestPlistDepth : public QObject
{
    Q_OBJECT

private slots:
    void depth_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("within");
        const int limit = int(PlistDepth::defaultLimit);
        QTest::newRow("admin file") << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>host</key>"
                                                  "<string>a&lt;b</string><key>IsPrivateInstall</key><true/></dict></plist>")
                                    << true;
        QTest::newRow("xml at the limit") << nestedXml(limit) << true;
        QTest::newRow("xml over the limit") << nestedXml(limit + 1) << false;
        QTest::newRow("xml far over the limit") << nestedXml(200000) << false;
        // Close tags the library never sees must not make it look shallow.
        QTest::newRow("xml, close tags in comments") << nestedXml(limit + 1, "<!-- </array></array> -->") << false;
        QTest::newRow("xml, close tags in character data") << nestedXml(limit + 1, "<string><![CDATA[</array>]]></string>") << false;
        QTest::newRow("xml, close tags in attribute values") << nestedXml(limit + 1, "<string a=\"</array>\"/>") << false;
        QTest::newRow("xml, empty elements add nothing") << QByteArray("<plist><array>" + QByteArray(100000, 'x').replace("x", "<array/>") + "</array></plist>")
                                                         << true;
        QTest::newRow("binary at the limit") << binary(chain(limit)) << true;
        QTest::newRow("binary over the limit") << binary(chain(limit + 1)) << false;
        QTest::newRow("binary, many ways to one object") << binary(chain(limit, 20)) << true;
        QTest::newRow("binary, a loop") << binary({{1}, {0}}) << false;
        QTest::newRow("binary, refers to itself") << binary({{0}}) << false;
        QTest::newRow("binary, reference out of range") << binary({{5}}) << false;
        QTest::newRow("binary, top out of range") << binary({{}}, 3) << false;
        QTest::newRow("binary, cut short") << binary(chain(3)).left(40) << false;
    }

    void depth()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, within);
        QCOMPARE(PlistDepth::within(std::string_view(bytes.constData(), std::size_t(bytes.size()))), within);
    }
};

QTEST_GUILESS_MAIN(TestPlistDepth)
#include "tst_plistdepth.moc"
