#include "client/core/MultipartBodyDevice.h"
#include "client/core/RestAPIUtil.h"

#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace tavoren::client;

namespace {
const QString boundary = QStringLiteral("Boundary-0C3F2A9E-1B2C-4D5E-8F90-A1B2C3D4E5F6");

QJsonObject owner(const QString &email = QString())
{
    QJsonObject object{{QStringLiteral("UploadClient"), 5}, {QStringLiteral("EmailTo"), QStringLiteral("print@service.test")}};
    if (!email.isEmpty())
        object.insert(QStringLiteral("OwnerEmail"), email);
    return object;
}

// The layout written out line by line, as the service expects it.
QByteArray expectedBody(const QByteArray &ownerJson, const QByteArray &name, const QByteArray &content)
{
    const QByteArray b = boundary.toLatin1();
    return "--" + b + "\r\n"
           "Content-Disposition: form-data; name=\"Owner\"\r\n"
           "Content-Type: application/json\r\n"
           "\r\n"
        + ownerJson + "\r\n"
        + "--" + b + "\r\n"
        + "Content-Disposition: form-data; name=\"file\"; filename=\"Untitled.pdf\"\r\n"
        + "Content-Description: " + name + "\r\n"
        + "Content-Type: application/pdf\r\n"
        + "\r\n"
        + content + "\r\n"
        + "--" + b + "--\r\n";
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}
} // namespace

class TestMultipartBody : public QObject
{
    Q_OBJECT

private slots:
    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("pdf") << QStringLiteral("Report.pdf") << QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
        QTest::newRow("empty file") << QStringLiteral("Empty") << QByteArray();
        QTest::newRow("utf-8 name") << QStringLiteral("Facture été.pdf") << QByteArray("x");
        QTest::newRow("boundary look-alike") << QStringLiteral("a") << ("\r\n--" + boundary.toLatin1() + "--\r\n");
    }

    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const QList<QByteArray> files{content};
        const QByteArray body = RestAPIUtil::createDataBody(owner(), &files, boundary, name, QStringLiteral("application/pdf"));
        QCOMPARE(body, expectedBody(R"({"EmailTo":"print@service.test","UploadClient":5})", name.toUtf8(), content));
    }

    void noFilesHasOnlyOwnerPart()
    {
        const QByteArray body = RestAPIUtil::createDataBody(owner(QStringLiteral("a@b.test")), nullptr, boundary,
                                                            QStringLiteral("x"), QStringLiteral("application/pdf"));
        QVERIFY(body.contains(R"("OwnerEmail":"a@b.test")"));
        QVERIFY(!body.contains("name=\"file\""));
        QVERIFY(body.endsWith(QByteArray("--" + boundary.toLatin1() + "--\r\n")));
        const QList<QByteArray> none;
        QCOMPARE(RestAPIUtil::createDataBody(owner(QStringLiteral("a@b.test")), &none, boundary, QStringLiteral("x"),
                                             QStringLiteral("application/pdf")),
                 body);
    }

    // The streamed body must be the in-memory body, whatever the read pattern.
    void streamedEqualsInMemory_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<qint64>("chunk");
        QTest::newRow("empty, big reads") << qsizetype(0) << qint64(65536);
        QTest::newRow("small, byte reads") << qsizetype(300) << qint64(1);
        QTest::newRow("1 MiB, odd reads") << qsizetype(1024 * 1024 + 7) << qint64(4093);
        QTest::newRow("1 MiB, one read") << qsizetype(1024 * 1024) << qint64(4 * 1024 * 1024);
    }

    void streamedEqualsInMemory()
    {
        QFETCH(qsizetype, size);
        QFETCH(qint64, chunk);
        QTemporaryDir dir;
        const QByteArray content = randomBytes(size);
        const QString path = dir.filePath(QStringLiteral("job.pdf"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.close();

        const QList<QByteArray> files{content};
        const QString name = QStringLiteral("Doc.pdf");
        const QByteArray expected = RestAPIUtil::createDataBody(owner(), &files, boundary, name, QStringLiteral("application/pdf"));

        auto file = std::make_unique<QFile>(path);
        QVERIFY(file->open(QIODevice::ReadOnly));
        MultipartBodyDevice device(RestAPIUtil::ownerPart(owner(), boundary)
                                       + RestAPIUtil::filePartHeader(boundary, name, QStringLiteral("application/pdf")),
                                   std::move(file), size,
                                   RestAPIUtil::filePartEnd() + RestAPIUtil::closingBoundary(boundary));
        QCOMPARE(device.size(), expected.size());

        QByteArray streamed;
        while (!device.atEnd()) {
            const QByteArray piece = device.read(chunk);
            QVERIFY(!piece.isEmpty());
            streamed += piece;
        }
        QCOMPARE(streamed.size(), expected.size());
        QVERIFY(streamed == expected);

        // A resend starts again from the beginning.
        QVERIFY(device.seek(0));
        QCOMPARE(device.readAll(), expected);
        QVERIFY(!device.seek(device.size() + 1));
    }

    void fileThatShrankFailsTheRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("job.pdf"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(100, 'a'));
        out.close();
        auto file = std::make_unique<QFile>(path);
        QVERIFY(file->open(QIODevice::ReadOnly));
        MultipartBodyDevice device("head", std::move(file), 200, "tail");
        QVERIFY(QFile::resize(path, 50));
        const QByteArray read = device.read(1000);
        QCOMPARE(read, QByteArray("head") + QByteArray(50, 'a'));
        QCOMPARE(device.read(1000), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestMultipartBody)
#include "tst_multipartbody.moc"
