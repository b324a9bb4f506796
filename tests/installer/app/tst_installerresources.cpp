// The installer window's resources as the build lays them down: every image
// rendered at twice its display size, in the bundle and compiled in alike;
// the "Installer" strings table complete and consistent in both languages,
// also once compiled; the licence texts readable as Qt rich text.
#include "support/TestRoot.h"

#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTranslator>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <memory>

using tavoren::testsupport::TestRoot;

namespace {

const QString resourcesDir = QStringLiteral(TAVOREN_INSTALLER_RESOURCES_DIR);
const QString translationsDir = QStringLiteral(TAVOREN_SOURCE_DIR "/src/installer/app/resources/translations");
const QString languages[] = {QStringLiteral("en"), QStringLiteral("fr")};
const QString placeholder = QStringLiteral("%@");

// Every key the window and the installer core look up.
const QStringList expectedIds = {
    QStringLiteral("titleWindow"), QStringLiteral("TitleMessage"), QStringLiteral("Intializing"),
    QStringLiteral("IAgreeTermsOfKYR"), QStringLiteral("TermsOfService"), QStringLiteral("License"),
    QStringLiteral("PublicComputer"), QStringLiteral("PrivateComputer"), QStringLiteral("SaveComputerSettings"),
    QStringLiteral("Next"), QStringLiteral("Back"), QStringLiteral("Install"), QStringLiteral("Cancel"),
    QStringLiteral("Close"), QStringLiteral("OK"), QStringLiteral("Continue"),
    QStringLiteral("InstallerBusy"), QStringLiteral("WindowClosed"), QStringLiteral("Warning"),
    QStringLiteral("CloseApplications"), QStringLiteral("AboutWrapper"), QStringLiteral("InstallerLog"),
    QStringLiteral("HideWrapper"), QStringLiteral("HideOthers"), QStringLiteral("ShowAll"),
    QStringLiteral("QuitWrapper"), QStringLiteral("AvailableSpace"), QStringLiteral("GB"),
    QStringLiteral("displayName"), QStringLiteral("Installing"), QStringLiteral("Uninstalling"),
    QStringLiteral("UninstallComplete"), QStringLiteral("MissingPackage"),
    QStringLiteral("AppInstalledWarningMessage"), QStringLiteral("InstallFailed"),
    QStringLiteral("InstallFailedSubResult"), QStringLiteral("InstallSuccessful"),
    QStringLiteral("InstallSuccessfulSubResult"), QStringLiteral("applicationImage"),
    QStringLiteral("backgroundImage"), QStringLiteral("PHASE_PrepareInstall"), QStringLiteral("PHASE_PrepareDisk"),
    QStringLiteral("PHASE_Wait"), QStringLiteral("PHASE_Configure"), QStringLiteral("PHASE_WriteFiles"),
    QStringLiteral("PHASE_RunScripts"), QStringLiteral("PHASE_MovingItems"), QStringLiteral("PHASE_Cleaning"),
    QStringLiteral("PHASE_WritingPkg"), QStringLiteral("PHASE_Registering"), QStringLiteral("PHASE_ValidatePkgs"),
    QStringLiteral("PHASE_RunInstallActions"), QStringLiteral("PHASE_FinishInstall"),
    QStringLiteral("PHASE_Optimising"), QStringLiteral("HelpMessage"), QStringLiteral("SaveLogFailed"),
    QStringLiteral("StartupDisk"), QStringLiteral("SaveLog"), QStringLiteral("SearchLog"),
    QStringLiteral("InstallWarning"), QStringLiteral("AccessibleProduct"), QStringLiteral("AccessibleProductHint"),
    QStringLiteral("AccessibleArrow"), QStringLiteral("AccessibleHelp"), QStringLiteral("AccessibleProgress")};

struct TsEntry
{
    QString translation;
    bool finished = true;
};

struct TsTable
{
    QMap<QString, TsEntry> entries;
    QStringList duplicates;
    QString error;
};

TsTable readTs(const QString &path)
{
    TsTable table;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        table.error = QStringLiteral("cannot open ") + path;
        return table;
    }
    QXmlStreamReader xml(file.read(1024 * 1024));
    QString id;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("context")) {
            // One empty context: id-based lookups ignore any other.
            xml.readNextStartElement();
            if (xml.name() != QLatin1String("name") || !xml.readElementText().isEmpty())
                table.error = QStringLiteral("a context with a name");
        } else if (xml.isStartElement() && xml.name() == QLatin1String("message")) {
            id = xml.attributes().value(QLatin1String("id")).toString();
            if (table.entries.contains(id))
                table.duplicates << id;
        } else if (xml.isStartElement() && xml.name() == QLatin1String("translation")) {
            TsEntry entry;
            entry.finished = xml.attributes().value(QLatin1String("type")).isEmpty();
            entry.translation = xml.readElementText();
            table.entries.insert(id, entry);
        }
    }
    if (xml.hasError())
        table.error = xml.errorString();
    return table;
}

const TsTable &table(const QString &language)
{
    static const TsTable en = readTs(translationsDir + QStringLiteral("/Installer_en.ts"));
    static const TsTable fr = readTs(translationsDir + QStringLiteral("/Installer_fr.ts"));
    return language == QLatin1String("fr") ? fr : en;
}

// WCAG relative luminance of a colour.
double luminance(QRgb rgb)
{
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

} // namespace

class TestInstallerResources : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        QVERIFY(m_root->isValid());
    }
    void cleanup() { m_root.reset(); }

    void imageRenderedAtTwiceItsDisplaySize_data();
    void imageRenderedAtTwiceItsDisplaySize();
    void backgroundLeavesBlackTextReadable();
    void tablesHaveExactlyTheKeys();
    void entryIsCompleteInBothLanguages_data();
    void entryIsCompleteInBothLanguages();
    void frenchTypography();
    void imageKeysNameShippedImages_data();
    void imageKeysNameShippedImages();
    void compiledTableMatchesSource_data();
    void compiledTableMatchesSource();
    void shortTextsFitTheWindow_data();
    void shortTextsFitTheWindow();
    void licenceIsRichText_data();
    void licenceIsRichText();

private:
    std::unique_ptr<TestRoot> m_root;
};

void TestInstallerResources::imageRenderedAtTwiceItsDisplaySize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("largestDisplaySize");
    QTest::addColumn<bool>("opaque");
    QTest::newRow("arrow") << QStringLiteral("Drag_arrow.png") << QSize(96, 48) << false;
    // Also the product icon when the package is missing.
    QTest::newRow("alert") << QStringLiteral("Alert.png") << QSize(128, 128) << false;
    QTest::newRow("success") << QStringLiteral("Success.png") << QSize(64, 64) << false;
    QTest::newRow("destination") << QStringLiteral("DestinationIcon.png") << QSize(128, 128) << false;
    QTest::newRow("help") << QStringLiteral("question_icon.png") << QSize(24, 24) << false;
    QTest::newRow("product") << QStringLiteral("TavorenDriver.png") << QSize(128, 128) << false;
    QTest::newRow("background") << QStringLiteral("InstallerBackground.png") << QSize(600, 300) << true;
}

void TestInstallerResources::imageRenderedAtTwiceItsDisplaySize()
{
    QFETCH(QString, name);
    QFETCH(QSize, largestDisplaySize);
    QFETCH(bool, opaque);

    QImageReader reader(resourcesDir + QLatin1Char('/') + name);
    QCOMPARE(reader.format(), QByteArray("png"));
    QCOMPARE(reader.size(), largestDisplaySize * 2);
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));

    const QImage compiled = QImage(QStringLiteral(":/images/") + name).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(compiled, image);

    int opaquePixels = 0;
    int clearPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            opaquePixels += alpha == 255;
            clearPixels += alpha == 0;
        }
    }
    if (opaque) {
        QCOMPARE(opaquePixels, image.width() * image.height());
    } else {
        // An icon on a clear ground: its corners show what lies beneath.
        const int w = image.width() - 1;
        const int h = image.height() - 1;
        for (const QPoint corner : {QPoint(0, 0), QPoint(w, 0), QPoint(0, h), QPoint(w, h)})
            QCOMPARE(qAlpha(image.pixel(corner)), 0);
        QVERIFY(opaquePixels > image.width() * image.height() / 20);
        QVERIFY(clearPixels > 0);
    }
}

void TestInstallerResources::backgroundLeavesBlackTextReadable()
{
    const QImage image(resourcesDir + QStringLiteral("/InstallerBackground.png"));
    QVERIFY(!image.isNull());
    double darkest = 1.0;
    double lightest = 0.0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double l = luminance(image.pixel(x, y));
            darkest = std::min(darkest, l);
            lightest = std::max(lightest, l);
        }
    }
    // Black text keeps a contrast of at least 15:1 everywhere (7:1 is the
    // strictest accessibility level), and the ground stays calm.
    const double contrastWithBlack = (darkest + 0.05) / 0.05;
    QVERIFY2(contrastWithBlack >= 15.0, qPrintable(QString::number(contrastWithBlack)));
    const double spread = (lightest + 0.05) / (darkest + 0.05);
    QVERIFY2(spread <= 1.25, qPrintable(QString::number(spread)));
}

void TestInstallerResources::tablesHaveExactlyTheKeys()
{
    const QSet<QString> expected(expectedIds.cbegin(), expectedIds.cend());
    QCOMPARE(expected.size(), expectedIds.size());
    for (const QString &language : languages) {
        const TsTable &ts = table(language);
        QVERIFY2(ts.error.isEmpty(), qPrintable(language + QStringLiteral(": ") + ts.error));
        QVERIFY2(ts.duplicates.isEmpty(), qPrintable(ts.duplicates.join(QLatin1Char(' '))));
        const QList<QString> keys = ts.entries.keys();
        const QSet<QString> actual(keys.cbegin(), keys.cend());
        QVERIFY2(actual == expected,
                 qPrintable(language + QStringLiteral(" extra: ") + QStringList((actual - expected).values()).join(QLatin1Char(' '))
                            + QStringLiteral(" missing: ") + QStringList((expected - actual).values()).join(QLatin1Char(' '))));
    }
}

void TestInstallerResources::entryIsCompleteInBothLanguages_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("placeholders");
    for (const QString &id : expectedIds) {
        // The headline names the product; the warning the product and the
        // installed version, in that order.
        // A failed save names the file and the reason.
        const int count = id == QLatin1String("Installing")                                          ? 1
                          : id == QLatin1String("AppInstalledWarningMessage") || id == QLatin1String("SaveLogFailed") ? 2
                                                                                                     : 0;
        QTest::newRow(qPrintable(id)) << id << count;
    }
}

void TestInstallerResources::entryIsCompleteInBothLanguages()
{
    QFETCH(QString, id);
    QFETCH(int, placeholders);
    for (const QString &language : languages) {
        const TsEntry entry = table(language).entries.value(id);
        QVERIFY2(entry.finished, qPrintable(language));
        QVERIFY2(!entry.translation.trimmed().isEmpty(), qPrintable(language));
        QCOMPARE(entry.translation, entry.translation.trimmed());
        QCOMPARE(entry.translation.count(placeholder), placeholders);
        QVERIFY2(!entry.translation.contains(QStringLiteral("...")), "an ellipsis is one character");
    }
}

void TestInstallerResources::frenchTypography()
{
    // French puts a no-break space before a colon and a narrow one before
    // ";", "?" and "!"; English puts none. Neither writes a straight quote.
    static const QRegularExpression frenchBad(QStringLiteral("(?:[^\\x{00a0}]:(?!//)|[^\\x{202f}][;?!]|[\"'])"));
    static const QRegularExpression englishBad(QStringLiteral("(?:\\s[:;?!]|[\"'])"));
    for (const QString &id : expectedIds) {
        const QString fr = table(QStringLiteral("fr")).entries.value(id).translation;
        const QString en = table(QStringLiteral("en")).entries.value(id).translation;
        QVERIFY2(!frenchBad.match(fr).hasMatch(), qPrintable(id + QStringLiteral(": ") + fr));
        QVERIFY2(!englishBad.match(en).hasMatch(), qPrintable(id + QStringLiteral(": ") + en));
    }
}

void TestInstallerResources::imageKeysNameShippedImages_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("applicationImage") << QStringLiteral("applicationImage");
    QTest::newRow("backgroundImage") << QStringLiteral("backgroundImage");
    QTest::newRow("displayName") << QStringLiteral("displayName");
}

void TestInstallerResources::imageKeysNameShippedImages()
{
    QFETCH(QString, id);
    const QString en = table(QStringLiteral("en")).entries.value(id).translation;
    // Names are the same in every language.
    QCOMPARE(table(QStringLiteral("fr")).entries.value(id).translation, en);
    if (id.endsWith(QLatin1String("Image"))) {
        QVERIFY2(QFile::exists(resourcesDir + QLatin1Char('/') + en), qPrintable(en));
        QVERIFY2(QFile::exists(QStringLiteral(":/images/") + en), qPrintable(en));
    }
}

void TestInstallerResources::compiledTableMatchesSource_data()
{
    QTest::addColumn<QString>("language");
    for (const QString &language : languages)
        QTest::newRow(qPrintable(language)) << language;
}

void TestInstallerResources::compiledTableMatchesSource()
{
    QFETCH(QString, language);
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral("Installer_") + language, resourcesDir));
    const TsTable &ts = table(language);
    for (const QString &id : expectedIds) {
        const QString compiled = translator.translate("", id.toUtf8().constData());
        QCOMPARE(compiled, ts.entries.value(id).translation);
    }
}

void TestInstallerResources::shortTextsFitTheWindow_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("widest");
    // At the default font, in a 640-pixel window with its margins.
    for (const char *id : {"Next", "Back", "Install", "Cancel", "Close", "OK", "Continue"})
        QTest::newRow(id) << QString::fromLatin1(id) << 110;
    for (const char *id : {"TermsOfService", "IAgreeTermsOfKYR", "InstallerBusy", "Warning", "License",
                           "SaveComputerSettings", "InstallFailed", "InstallSuccessful", "Uninstalling", "Intializing"})
        QTest::newRow(id) << QString::fromLatin1(id) << 400;
    for (const QString &id : expectedIds) {
        if (id.startsWith(QLatin1String("PHASE_")))
            QTest::newRow(qPrintable(id)) << id << 400;
    }
}

void TestInstallerResources::shortTextsFitTheWindow()
{
    QFETCH(QString, id);
    QFETCH(int, widest);
    const QFontMetrics metrics(QGuiApplication::font());
    for (const QString &language : languages) {
        const QString text = table(language).entries.value(id).translation;
        QVERIFY(!text.isEmpty());
        const int width = metrics.horizontalAdvance(text);
        QVERIFY2(width <= widest, qPrintable(language + QStringLiteral(": ") + text + QStringLiteral(" is ")
                                             + QString::number(width) + QStringLiteral(" pixels")));
    }
}

void TestInstallerResources::licenceIsRichText_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QString>("sectionTitle");
    QTest::newRow("en") << QStringLiteral(":/License/License.html") << QStringLiteral("Limitation of liability");
    QTest::newRow("fr") << QStringLiteral(":/License/License_fr.html") << QStringLiteral("Limitation de responsabilité");
}

void TestInstallerResources::licenceIsRichText()
{
    QFETCH(QString, resource);
    QFETCH(QString, sectionTitle);
    QFile file(resource);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.read(256 * 1024);
    QVERIFY(file.atEnd());
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString html = utf8(bytes);
    QVERIFY(!utf8.hasError());

    // Only what Qt's rich text understands.
    static const QRegularExpression tag(QStringLiteral("</?([a-zA-Z0-9]+)"));
    static const QSet<QString> supported = {
        QStringLiteral("html"), QStringLiteral("head"), QStringLiteral("meta"), QStringLiteral("title"),
        QStringLiteral("body"), QStringLiteral("h2"), QStringLiteral("h3"), QStringLiteral("p"),
        QStringLiteral("ul"), QStringLiteral("li"), QStringLiteral("b"), QStringLiteral("a")};
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const QString name = it.next().captured(1).toLower();
        QVERIFY2(supported.contains(name), qPrintable(name));
    }

    QTextDocument document;
    document.setHtml(html);
    const QString text = document.toPlainText();
    QVERIFY(text.contains(QStringLiteral("Corvane Tavoren Driver")));
    QVERIFY(text.contains(QStringLiteral("https://www.corvane-tavoren.example/legal/terms-of-use/")));
    QVERIFY(!text.contains(QLatin1Char('<')));

    int headings = 0;
    bool sectionFound = false;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() > 0) {
            ++headings;
            sectionFound = sectionFound || block.text().contains(sectionTitle);
        }
    }
    QVERIFY(headings >= 10);
    QVERIFY(sectionFound);
}

QTEST_MAIN(TestInstallerResources)
#include "tst_installerresources.moc"
