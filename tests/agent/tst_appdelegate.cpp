// The agent's application object in-process: client launch (only into a
// graphical session), the current-job record, reaping, and cleaning passes
// run on its queue.
#include "agent/AgentConstants.h"
#include "agent/AppDelegate.h"
#include "agent/LinuxClientLauncher.h"

#include "support/FakeGraphicalSession.h"
#include "support/MemorySystemLog.h"
#include "support/StandInClient.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <memory>
#include <sys/wait.h>

using tavoren::agent::AgentEnvironment;
using tavoren::agent::AppDelegate;
using tavoren::agent::LinuxClientLauncher;
using tavoren::testsupport::FakeGraphicalSession;
using tavoren::testsupport::MemorySystemLog;
using tavoren::testsupport::StandInClient;
using tavoren::testsupport::TestRoot;

namespace {
QString jobFolder(const TestRoot &root, const QString &name)
{
    const QString folder = root.spoolRoot() + QLatin1Char('/') + name;
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/job.pdf"));
    if (file.open(QIODevice::WriteOnly))
        file.write("%PDF");
    // Past the grace period, so that only the record keeps it.
    TestRoot::setTimesBack(folder, tavoren::agent::JOB_FOLDER_GRACE_SECONDS + 60);
    return folder;
}

QByteArray argumentFor(const QString &folder)
{
    return "Report.pdf:: ::" + QFile::encodeName(folder) + "/job.pdf";
}
} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        qunsetenv("TAVOREN_STAND_IN_HOLD");
    }

    void clientGetsTheArgumentUnchanged_data()
    {
        QTest::addColumn<QByteArray>("argument");
        QTest::newRow("job") << QByteArray("Report.pdf:: ::/spool/job17/Report.pdf");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("blanks and accents") << QByteArray("  Caf\xC3\xA9 menu .pdf:: ::/spool/job 1/a b.pdf ");
        QTest::newRow("shell characters") << QByteArray("$(touch x); `y` * ? ' \":: ::/p");
    }

    void clientGetsTheArgumentUnchanged()
    {
        QFETCH(QByteArray, argument);
        TestRoot root;
        QVERIFY(StandInClient::install(root));
        FakeGraphicalSession session;
        auto log = std::make_shared<MemorySystemLog>();
        AppDelegate delegate(AgentEnvironment::platform(session, log));
        QVERIFY(delegate.launchClient(argument.toStdString()));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        QCOMPARE(StandInClient::records(root), QList<QByteArrayList>{QByteArrayList{argument}});
        QCOMPARE(QByteArray::fromStdString(delegate.currentProcessedFolder()), argument);
    }

    void twoJobsInQuickSuccession()
    {
        TestRoot root;
        QVERIFY(StandInClient::install(root));
        FakeGraphicalSession session;
        auto log = std::make_shared<MemorySystemLog>();
        AppDelegate delegate(AgentEnvironment::platform(session, log));
        delegate.launchClient("First.pdf:: ::/spool/job1/a.pdf");
        delegate.launchClient("Second.pdf:: ::/spool/job2/b.pdf");
        QCOMPARE(delegate.currentProcessedFolder(), std::string("Second.pdf:: ::/spool/job2/b.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 2, 20000);
        QList<QByteArrayList> records = StandInClient::records(root);
        std::sort(records.begin(), records.end());
        QCOMPARE(records, (QList<QByteArrayList>{{"First.pdf:: ::/spool/job1/a.pdf"}, {"Second.pdf:: ::/spool/job2/b.pdf"}}));
    }

    void unstartableClientIsLogged_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << false << QStringLiteral("No such file or directory");
        QTest::newRow("not executable") << true << QStringLiteral("Permission denied");
    }

    void unstartableClientIsLogged()
    {
        QFETCH(bool, present);
        QFETCH(QString, reason);
        TestRoot root;
        auto log = std::make_shared<MemorySystemLog>();
        const QString client = root.system(QString::fromUtf8(tavoren::agent::LAUNCHER_APP_PATH));
        if (present)
            root.writeFile(QString::fromUtf8(tavoren::agent::LAUNCHER_APP_PATH), "#!/bin/sh\n");
        FakeGraphicalSession session;
        AppDelegate delegate(AgentEnvironment::platform(session, log));
        QVERIFY(!delegate.launchClient("A.pdf:: ::/spool/job1/a.pdf"));
        QCOMPARE(log->count(QStringLiteral("Could not start the client \"") + client + QStringLiteral("\": ") + reason), 1);
        // The job stays the current one: its folder is not swept away.
        QCOMPARE(delegate.currentProcessedFolder(), std::string("A.pdf:: ::/spool/job1/a.pdf"));

        QVERIFY(StandInClient::install(root));
        QVERIFY(delegate.launchClient("B.pdf:: ::/spool/job2/b.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
    }

    // No window, no client: the sender hears "not started", and the job
    // handed off before keeps its folder.
    void noGraphicalSessionStartsNoClient()
    {
        TestRoot root;
        auto log = std::make_shared<MemorySystemLog>();
        QVERIFY(StandInClient::install(root));
        FakeGraphicalSession session;
        AppDelegate delegate(AgentEnvironment::platform(session, log));
        QVERIFY(delegate.launchClient("A.pdf:: ::/spool/job1/a.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);

        session.goAway("DISPLAY is not set");
        QVERIFY(!delegate.launchClient("B.pdf:: ::/spool/job2/b.pdf"));
        QCOMPARE(log->count(QStringLiteral("No graphical session for the print release client (DISPLAY is not set): "
                                          "the job waits for the next login")),
                 1);
        QCOMPARE(delegate.currentProcessedFolder(), std::string("A.pdf:: ::/spool/job1/a.pdf"));
        QCOMPARE(StandInClient::count(root), 1);

        session.comeBack();
        QVERIFY(delegate.launchClient("C.pdf:: ::/spool/job3/c.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 2, 20000);
        QList<QByteArrayList> records = StandInClient::records(root);
        std::sort(records.begin(), records.end());
        QCOMPARE(records, (QList<QByteArrayList>{{"A.pdf:: ::/spool/job1/a.pdf"}, {"C.pdf:: ::/spool/job3/c.pdf"}}));
    }

    void endedClientsAreReaped()
    {
        TestRoot root;
        QVERIFY(StandInClient::install(root));
        LinuxClientLauncher launcher(root.system(QString::fromUtf8(tavoren::agent::LAUNCHER_APP_PATH)).toStdString());
        const auto launchedFirst = launcher.launch("a");
        const auto launchedSecond = launcher.launch("b");
        QVERIFY(launchedFirst && launchedSecond);
        const pid_t first = *launchedFirst;
        const pid_t second = *launchedSecond;
        QVERIFY(first > 0 && second > 0);
        // A launch collects what has ended before it, so count what is left.
        QVERIFY(QTest::qWaitFor([&] { return launcher.runningJobArguments().empty(); }, 20000));
        // Already collected: nothing left to wait for.
        QCOMPARE(::waitpid(first, nullptr, WNOHANG), -1);
        QCOMPARE(errno, ECHILD);
        QCOMPARE(::waitpid(second, nullptr, WNOHANG), -1);
    }

    // What the pass keeps depends on the record of the job handed off last.
    void passFollowsTheRecord_data()
    {
        QTest::addColumn<QString>("record"); // "none": no job yet
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("no job since start") << QStringLiteral("none")
                                            << QStringList{QStringLiteral("job12"), QStringLiteral("job17")}
                                            << QStringLiteral("Cleaning pass removed 0 job folders");
        QTest::newRow("record without separator") << QStringLiteral("/spool/job17/Report.pdf")
                                                  << QStringList{QStringLiteral("job12"), QStringLiteral("job17")}
                                                  << QStringLiteral("Cleaning pass removed 0 job folders");
        QTest::newRow("current job in job17") << QStringLiteral("job17") << QStringList{QStringLiteral("job17")}
                                              << QStringLiteral("Cleaning pass removed 1 job folders");
    }

    void passFollowsTheRecord()
    {
        QFETCH(QString, record);
        QFETCH(QStringList, left);
        QFETCH(QString, logLine);
        TestRoot root;
        auto log = std::make_shared<MemorySystemLog>();
        QVERIFY(StandInClient::install(root));
        jobFolder(root, QStringLiteral("job12"));
        const QString current = jobFolder(root, QStringLiteral("job17"));
        FakeGraphicalSession session;
        AppDelegate delegate(AgentEnvironment::platform(session, log));
        if (record == QStringLiteral("job17"))
            delegate.launchClient(argumentFor(current).toStdString());
        else if (record != QStringLiteral("none"))
            delegate.launchClient(record.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), record == QStringLiteral("none") ? 0 : 1, 20000);
        delegate.removeAllFilesRecursivelyExcept();
        delegate.waitForQueue();
        QCOMPARE(QDir(root.spoolRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), left);
        QCOMPARE(log->count(logLine), 1);
    }

    // Not only the last job: every job whose client still runs keeps its folder.
    void passSparesRunningClients()
    {
        TestRoot root;
        const QString release = root.path() + QStringLiteral("/release-clients");
        qputenv("TAVOREN_STAND_IN_HOLD", QFile::encodeName(release));
        QVERIFY(StandInClient::install(root));
        const QString first = jobFolder(root, QStringLiteral("job1"));
        const QString second = jobFolder(root, QStringLiteral("job2"));
        const QString stale = jobFolder(root, QStringLiteral("job0"));
        FakeGraphicalSession session;
        auto log = std::make_shared<MemorySystemLog>();
        AppDelegate delegate(AgentEnvironment::platform(session, log));
        delegate.launchClient(argumentFor(first).toStdString());
        delegate.launchClient(argumentFor(second).toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 2, 20000);

        delegate.removeAllFilesRecursivelyExcept();
        delegate.waitForQueue();
        QVERIFY(!QFileInfo::exists(stale));
        QVERIFY(QFileInfo::exists(first + QStringLiteral("/job.pdf")));
        QVERIFY(QFileInfo::exists(second + QStringLiteral("/job.pdf")));

        QFile releaseFile(release);
        QVERIFY(releaseFile.open(QIODevice::WriteOnly));
        releaseFile.close();
        // Once its client has ended, the first job's folder goes at a pass.
        QVERIFY(QTest::qWaitFor([&] {
            delegate.removeAllFilesRecursivelyExcept();
            delegate.waitForQueue();
            return !QFileInfo::exists(first);
        }, 20000));
        QVERIFY(QFileInfo::exists(second + QStringLiteral("/job.pdf")));
    }

    void passFailureIsLogged()
    {
        TestRoot root;
        auto log = std::make_shared<MemorySystemLog>();
        QVERIFY(StandInClient::install(root));
        const QString stray = root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/stray"), "x");
        FakeGraphicalSession session;
        AppDelegate delegate(AgentEnvironment::platform(session, log));
        delegate.launchClient("R.pdf:: ::/spool/job17/R.pdf");
        delegate.removeAllFilesRecursivelyExcept();
        delegate.waitForQueue();
        QCOMPARE(log->count(QStringLiteral("Could not list \"") + stray + QStringLiteral("\": Not a directory")), 1);
        QCOMPARE(log->count(QStringLiteral("Cleaning pass removed 0 job folders")), 1);
    }
};

QTEST_GUILESS_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
