#include "client/core/JobArgument.h"
#include "client/core/SpoolFolder.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <unistd.h>

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
        QCOMPARE(folder.hasValue(), accepted);
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

    // What the client deletes when its job ends or is cancelled, with a job
    // folder swapped for a link (as another user would do between the check
    // and the deletion) or handed to another user: nothing outside the job
    // folder goes, and a folder that is not the user's stays.
    void removalNeverLeavesTheJobFolder_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("wholeFolder"); // removeJobFolder, else removeSpoolFile
        QTest::addColumn<bool>("removed");
        QTest::newRow("folder: a real job folder") << QStringLiteral("real") << true << true;
        QTest::newRow("folder: swapped for a link") << QStringLiteral("link") << true << false;
        QTest::newRow("folder: a link inside it") << QStringLiteral("inner link") << true << true;
        QTest::newRow("folder: another user's") << QStringLiteral("foreign") << true << false;
        QTest::newRow("folder: two levels down") << QStringLiteral("deep") << true << false;
        QTest::newRow("file: a real spool file") << QStringLiteral("real") << false << true;
        QTest::newRow("file: folder swapped for a link") << QStringLiteral("link") << false << false;
        QTest::newRow("file: another user's folder") << QStringLiteral("foreign") << false << false;
    }
    void removalNeverLeavesTheJobFolder()
    {
        QFETCH(QString, situation);
        QFETCH(bool, wholeFolder);
        QFETCH(bool, removed);
        if (situation == QLatin1String("foreign") && ::geteuid() != 0)
            QSKIP("handing a folder to another user needs root");
        TestRoot root;
        const QString spool = root.spoolRoot();
        const QString victimFolder = root.makeDir(QStringLiteral("/home/other/Documents"));
        const QString victim = root.writeFile(QStringLiteral("/home/other/Documents/job.pdf"), "precious");
        const QString job = spool + QStringLiteral("/job7");
        QString path = job + QStringLiteral("/job.pdf");
        if (situation == QLatin1String("link")) {
            QVERIFY(QFile::link(victimFolder, job));
        } else {
            QDir().mkpath(job);
            root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job7/job.pdf"), "job");
            if (situation == QLatin1String("inner link"))
                QVERIFY(QFile::link(victim, job + QStringLiteral("/copy.pdf")));
            if (situation == QLatin1String("foreign"))
                QVERIFY(::chown(QFile::encodeName(job).constData(), 65534, 65534) == 0);
            if (situation == QLatin1String("deep")) {
                QDir().mkpath(job + QStringLiteral("/sub"));
                path = job + QStringLiteral("/sub/job.pdf");
            }
        }
        const auto done = wholeFolder ? SpoolFolder::removeJobFolder(path) : SpoolFolder::removeSpoolFile(path);
        QCOMPARE(done.hasValue(), removed);
        // A refusal says why.
        QVERIFY(removed || !done.error().description().empty());
        // Outside the job folder nothing changed.
        QFile file(victim);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("precious"));
        if (removed)
            QVERIFY(wholeFolder ? !QFileInfo::exists(job) : !QFileInfo::exists(path) && QFileInfo(job).isDir());
        else if (situation != QLatin1String("link"))
            QVERIFY(QFileInfo::exists(path) || situation == QLatin1String("deep"));
    }
};

QTEST_GUILESS_MAIN(TestSpoolFolder)
#include "tst_spoolfolder.moc"
