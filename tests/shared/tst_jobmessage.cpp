// What a message on the agent's socket yields as job argument.
#include "shared/JobMessage.h"

#include <QTest>

using tavoren::shared::JobMessage;

class TestJobMessage : public QObject
{
    Q_OBJECT

private slots:
    void jobArgument_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("argument");
        const QByteArray job = "Report.pdf:: ::/spool/job17/Report.pdf";
        QTest::newRow("NUL-terminated") << job + '\0' << job;
        QTest::newRow("no NUL") << job << job;
        QTest::newRow("bytes after the NUL") << job + '\0' + "|| ||junk" << job;
        QTest::newRow("end separator, then NUL") << job + QByteArray("|| ||more text\0", 15) << job;
        QTest::newRow("two end separators") << job + "|| ||a|| ||b" << job;
        QTest::newRow("starts with end separator") << "|| ||" + job << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("only a NUL") << QByteArray(1, '\0') << QByteArray();
        QTest::newRow("no job separator") << QByteArray("just a name\0", 12) << QByteArray("just a name");
        QTest::newRow("near-miss separator kept") << QByteArray("a| ||b") << QByteArray("a| ||b");
        QTest::newRow("invalid UTF-8 in the name") << QByteArray("Doc\xFF:: ::/p") << QByteArray("Doc\xEF\xBF\xBD:: ::/p");
        QTest::newRow("separator after a NUL ignored") << QByteArray("a\0|| ||b", 8) << QByteArray("a");
        QTest::newRow("beyond 1024 bytes cut") << QByteArray(1030, 'x') << QByteArray(1024, 'x');
    }

    void jobArgument()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, argument);
        QCOMPARE(QByteArray::fromStdString(JobMessage::jobArgument(bytes.toStdString())), argument);
    }

    // One U+FFFD per maximal ill-formed subpart, as the Unicode standard
    // recommends and the platform's decoder does.
    void repairedUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("text");
        const QByteArray r = "\xEF\xBF\xBD";
        QTest::newRow("ASCII") << QByteArray("plain") << QByteArray("plain");
        QTest::newRow("two, three and four bytes") << QByteArray("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")
                                                   << QByteArray("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
        QTest::newRow("lone continuation") << QByteArray("a\x80z") << "a" + r + "z";
        QTest::newRow("overlong C0") << QByteArray("\xC0\xAF") << r + r;
        QTest::newRow("overlong E0") << QByteArray("\xE0\x80\xAF") << r + r + r;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << r + r + r;
        QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << r + r + r + r;
        QTest::newRow("F5 lead") << QByteArray("\xF5\x80") << r + r;
        QTest::newRow("truncated three bytes") << QByteArray("\xE2\x82z") << r + "z";
        QTest::newRow("truncated at the end") << QByteArray("ok\xF0\x9F\x98") << "ok" + r;
        QTest::newRow("truncated then valid") << QByteArray("\xE2\x82\xC3\xA9") << r + "\xC3\xA9";
        QTest::newRow("largest scalar") << QByteArray("\xF4\x8F\xBF\xBF") << QByteArray("\xF4\x8F\xBF\xBF");
    }

    void repairedUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, text);
        QCOMPARE(QByteArray::fromStdString(JobMessage::repairedUtf8(bytes.toStdString())), text);
    }
};

QTEST_GUILESS_MAIN(TestJobMessage)
#include "tst_jobmessage.moc"
