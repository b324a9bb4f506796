// How the screens turn data into texts: user-perceived lengths, the release
// code and document name forms, the address rule, the instruction template.
#include "client/app/DockerError.h"
#include "client/core/AttributedText.h"
#include "client/core/DisplayText.h"
#include "client/core/EmailAddress.h"
#include "shared/StringTable.h"
#include "client/support/ClientSetup.h"
#include "support/TestRoot.h"

#include <QTest>

using namespace tavoren;
using namespace tavoren::client;

namespace {
const QString eAcute = QStringLiteral("e\u0301"); // one character, two code units
}

class TestScreenTexts : public QObject
{
    Q_OBJECT

private slots:
    void releaseCode_data()
    {
        QTest::addColumn<QString>("docID");
        QTest::addColumn<QString>("shown");
        QTest::newRow("eight") << "ABCDEFGH" << "ABCD EFGH";
        QTest::newRow("empty") << "" << " ";
        QTest::newRow("one") << "A" << "A ";
        QTest::newRow("odd") << "ABCDEFG" << "ABCD EFG";
        QTest::newRow("combining mark stays whole") << QStringLiteral("AB") + eAcute + QStringLiteral("D") << QStringLiteral("AB ") + eAcute + QStringLiteral("D");
    }

    void releaseCode()
    {
        QFETCH(QString, docID);
        QFETCH(QString, shown);
        QCOMPARE(DisplayText::releaseCode(docID), shown);
    }

    void documentName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        const QString thirty = QStringLiteral("abcdefghijklmnopqrstuvwxyz1234");
        QTest::newRow("30 whole") << thirty << thirty;
        QTest::newRow("31 shortened") << thirty + QStringLiteral("5") << QStringLiteral("abcdefghijk...pqrstuvwxyz12345");
        QTest::newRow("30 with combining marks whole") << QString(eAcute).repeated(30) << QString(eAcute).repeated(30);
        QTest::newRow("31 with combining marks")
            << QString(eAcute).repeated(31) << QString(eAcute).repeated(11) + QStringLiteral("...") + QString(eAcute).repeated(16);
        QTest::newRow("empty") << QString() << QString();
    }

    void documentName()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(DisplayText::documentName(name), shown);
        QVERIFY(DisplayText::length(DisplayText::documentName(name)) <= 30);
    }

    void truncation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QString>("shown");
        QTest::newRow("400 to 360") << QString(QLatin1Char('x')).repeated(400) << qint64(360) << QString(QLatin1Char('x')).repeated(360);
        QTest::newRow("200 to 180") << QString(QLatin1Char('y')).repeated(200) << qint64(180) << QString(QLatin1Char('y')).repeated(180);
        QTest::newRow("shorter stays") << QStringLiteral("short") << qint64(180) << QStringLiteral("short");
        QTest::newRow("marks count once") << QString(eAcute).repeated(5) << qint64(3) << QString(eAcute).repeated(3);
        QTest::newRow("flag not split") << QStringLiteral("a\U0001F1EB\U0001F1F7b") << qint64(2) << QStringLiteral("a\U0001F1EB\U0001F1F7");
        QTest::newRow("negative limit") << QStringLiteral("abc") << qint64(-1) << QString();
    }

    void truncation()
    {
        QFETCH(QString, text);
        QFETCH(qint64, limit);
        QFETCH(QString, shown);
        QCOMPARE(DisplayText::truncated(text, limit), shown);
    }

    void addressRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "ann@example.com" << true;
        QTest::newRow("20 letters last") << QStringLiteral("a@b.") + QString(QLatin1Char('c')).repeated(20) << true;
        QTest::newRow("21 letters last") << QStringLiteral("a@b.") + QString(QLatin1Char('c')).repeated(21) << false;
        QTest::newRow("digit in last label") << "a@b.c0m" << false;
        QTest::newRow("many dots in domain") << "a@mail.eu.example.fr" << true;
        QTest::newRow("leading blank") << " a@b.co" << false;
        QTest::newRow("upper case") << "ANN@EXAMPLE.COM" << true;
        QTest::newRow("two at signs") << "a@b@c.co" << false;
        QTest::newRow("no dot after at") << "a@example" << false;
        QTest::newRow("empty") << "" << false;
    }

    void addressRule()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(EmailAddress::isValid(text), valid);
        QCOMPARE(EmailAddress::isAcceptable(text), valid || text.isEmpty());
    }

    void attributedTextEscapesAndMarksFirstOnly()
    {
        AttributedText text(QStringLiteral("<b>x</b> {0} and {0}").replace(QStringLiteral("{0}"), QStringLiteral("page")));
        text.setCentred(true);
        QVERIFY(text.colourAndLinkFirst(QStringLiteral("page"), AttributedText::blue));
        QVERIFY(!text.emboldenFirst(QStringLiteral("absent"), 16));
        const qsizetype first = text.text().indexOf(QStringLiteral("page"));
        const qsizetype second = text.text().lastIndexOf(QStringLiteral("page"));
        QVERIFY(text.isLinkAt(first) && text.isLinkAt(first + 3));
        QVERIFY(!text.isLinkAt(second));
        QCOMPARE(text.colourAt(second), QString());
        const QString html = text.toHtml();
        QVERIFY(html.contains(QStringLiteral("&lt;b&gt;x&lt;/b&gt;")));
        QCOMPARE(html.count(QStringLiteral("<a ")), 1);
        QVERIFY(html.startsWith(QStringLiteral("<div align=\"center\" style=\"white-space:pre-wrap;\">")));
    }

    void instructionTemplate_data()
    {
        QTest::addColumn<bool>("translations");
        QTest::newRow("with the table") << true;
        QTest::newRow("without a table") << false;
    }

    void instructionTemplate()
    {
        QFETCH(bool, translations);
        testsupport::TestRoot root;
        clienttest::ClientSetup::useResources(root, translations);
        const auto table = clienttest::ClientSetup::strings(root);
        const shared::StringTable &strings = *table;
        const AttributedText shown = DockerError::instructions(QStringLiteral("{0} - {1} - {2} - {3}"), strings);
        const QStringList pieces = shown.text().split(QStringLiteral(" - "));
        QCOMPARE(pieces.size(), 4);
        const char *keys[] = {"file_print", "KYR_Tavoren123", "enter_email_address", "next"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(pieces.at(i), strings.lookup(QLatin1String(keys[i])));

        auto boldAt = [&](const QString &needle) {
            const qsizetype at = shown.text().indexOf(needle);
            return at >= 0 && shown.isBoldAt(at);
        };
        QVERIFY(boldAt(strings.lookup(QStringLiteral("file_print"))));
        QVERIFY(boldAt(strings.lookup(QStringLiteral("enter_email_address"))));
        QVERIFY(boldAt(strings.lookup(QStringLiteral("next"))));
        QVERIFY(shown.toHtml().contains(QStringLiteral("font-weight:700;font-size:16pt;")));
        // "{1}" is bold only where the short name occurs in it.
        QCOMPARE(boldAt(pieces.at(1)), translations);
        // Texts of "{4}" and "{5}" are not in this template: nothing else is bold.
        QVERIFY(!shown.isBoldAt(shown.text().indexOf(QStringLiteral(" - "))));
    }
};

QTEST_MAIN(TestScreenTexts)
#include "tst_screentexts.moc"
