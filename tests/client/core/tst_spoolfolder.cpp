#include "client/core/JobArgument.h"
#include "client/core/SpoolFolder.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace tavoren::client;
using tavoren::testsupport::TestRoot;

class TestSpoolFolder : public QObject
{
    Q_OBJECT

private slots:
    void jobFolder_data()
    {
        QTest::addColumn<QString>("relative"); // below the spool root, or absolute below the test root
        QTest::addColumn<bool>("accepted");
        QTest::newRow("file in job folder") << QStringLiteral("job1/doc.pdf") << true;
        QTest::newRow("file not yet written") << QStringLiteral("job1/later.pdf") << true;
        QTest::newRow("file directly in the root") << QStringLiteral("doc.pdf") << false;
        QTest::newRow("two folders deep") << QStringLiteral("job1/sub/doc.pdf") << false;
        QTest::newRow("dot-dot out") << QStringLiteral("job1/../../x/doc.pdf") << false;
        QTest::newRow("dot component") << QStringLiteral("./job1/doc.pdf") << false;
        QTest::newRow("job folder is a link outside") << QStringLiteral("linkout/doc.pdf") << false;
        QTest::newRow("job folder is a link inside") << QStringLiteral("linkin/doc.pdf") << false;
        QTest::newRow("file is a link outside") << QStringLiteral("job1/evil.pdf") << false;
        QTest::newRow("file is a dangling link") << QStringLiteral("job1/dangling.pdf") << false;
        QTest::newRow("folder that does not exist") << QStringLiteral("nojob/doc.pdf") << false;
        QTest::newRow("outside the root") << QStringLiteral("/outside/doc.pdf") << false;
        QTest::newRow("relative path") << QStringLiteral("~relative") << false;
    }

    void jobFolder()
    {
        QFETCH(QString, relative);
        QFETCH(bool, accepted);
        TestRoot root;
        const QString spool = root.spoolRoot();
        QDir().mkpath(spool + QStringLiteral("/job1/sub"));
        root.writeFile(QStringLiteral("/outside/doc.pdf"), "secret");
        QFile(spool + QStringLiteral("/job1/doc.pdf")).open(QIODevice::WriteOnly);
        QFile::link(root.system(QStringLiteral("/outside")), spool + QStringLiteral("/linkout"));
        QFile::link(spool + QStringLiteral("/job1"), spool + QStringLiteral("/linkin"));
        QFile::link(root.system(QStringLiteral("/outside/doc.pdf")), spool + QStringLiteral("/job1/evil.pdf"));
        QFile::link(spool + QStringLiteral("/job1/none"), spool + QStringLiteral("/job1/dangling.pdf"));

        QString path;
        if (relative.startsWith(QLatin1Char('~')))
            path = QStringLiteral("job1/doc.pdf");
        else if (relative.startsWith(QLatin1Char('/')))
            path = root.system(relative);
        else
            path = spool + QLatin1Char('/') + relative;
        const auto folder = SpoolFolder::jobFolderOf(path);
        QCOMPARE(folder.has_value(), accepted);
        if (accepted)
            QCOMPARE(*folder, spool + QStringLiteral("/job1"));
    }

    void missingSpoolRootAcceptsNothing()
    {
        TestRoot root;
        QVERIFY(QDir(root.spoolRoot()).removeRecursively());
        QVERIFY(!SpoolFolder::jobFolderOf(root.spoolRoot() + QStringLiteral("/job1/doc.pdf")));
    }

    void jobArgument_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QString>("extension");
        QTest::newRow("normal") << QStringLiteral("Report.pdf:: ::/spool/j/f.pdf")
                                << QStringList{QStringLiteral("Report.pdf"), QStringLiteral("/spool/j/f.pdf")} << QStringLiteral("pdf");
        QTest::newRow("no separator") << QStringLiteral("Report.pdf /spool/j/f.pdf")
                                      << QStringList{QStringLiteral("Report.pdf /spool/j/f.pdf")} << QStringLiteral("pdf");
        QTest::newRow("three pieces") << QStringLiteral("a:: ::b:: ::c")
                                      << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")} << QString();
        QTest::newRow("colons in the name") << QStringLiteral("12:30 :: notes.txt:: ::/p")
                                            << QStringList{QStringLiteral("12:30 :: notes.txt"), QStringLiteral("/p")} << QStringLiteral("txt");
        QTest::newRow("empty name") << QStringLiteral(":: ::/p") << QStringList{QString(), QStringLiteral("/p")} << QString();
    }

    void jobArgument()
    {
        QFETCH(QString, argument);
        QFETCH(QStringList, pieces);
        QFETCH(QString, extension);
        QCOMPARE(JobArgument::pieces(argument), pieces);
        QCOMPARE(JobArgument::extension(pieces.first()), extension);
        if (pieces.size() == 2)
            QCOMPARE(JobArgument::compose(pieces[0], pieces[1]), argument);
    }
};

QTEST_GUILESS_MAIN(TestSpoolFolder)
#include "tst_spoolfolder.moc"
