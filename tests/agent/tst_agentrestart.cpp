// The agent told to start again, as an upgrade does: the same process runs
// the file installed now, takes jobs again and keeps its clients; without
// a file to start from it ends.
#include "agent/AgentConstants.h"
#include "shared/HandOff.h"

#include "support/AgentProcess.h"
#include "support/StandInClient.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <climits>
#include <csignal>
#include <cstdio>
#include <unistd.h>

using tavoren::testsupport::AgentProcess;
using tavoren::testsupport::StandInClient;
using tavoren::testsupport::TestRoot;

namespace {
const QString installedAgent = QStringLiteral("/Library/Printers/CorvaneTavoren/CorvaneTavorenAgent");
const QByteArray started(1, tavoren::shared::HandOff::clientStarted);

// A new file at `path`, as an upgrade leaves it: a copy of the built agent
// renamed into place, so the one running keeps the old file's inode.
bool installAgent(const QString &path)
{
    const QString next = path + QStringLiteral(".new");
    QFile::remove(next);
    return QDir().mkpath(QFileInfo(path).path()) && QFile::copy(QStringLiteral(TAVOREN_TOOLS_DIR "/CorvaneTavorenAgent"), next)
           && QFile::setPermissions(next, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)
           && std::rename(QFile::encodeName(next).constData(), QFile::encodeName(path).constData()) == 0;
}

QString executableOf(qint64 pid)
{
    char target[PATH_MAX];
    const QByteArray link = "/proc/" + QByteArray::number(pid) + "/exe";
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    return length < 0 ? QString() : QFile::decodeName(QByteArray(target, length));
}

// A job folder past the grace period, and the job argument naming it.
QByteArray oldJob(const TestRoot &root, const QString &name)
{
    const QString folder = root.makeDir(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/") + name);
    root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/") + name + QStringLiteral("/job.pdf"), "%PDF");
    TestRoot::setTimesBack(folder, tavoren::agent::JOB_FOLDER_GRACE_SECONDS + 60);
    return "Report.pdf:: ::" + QFile::encodeName(folder) + "/job.pdf";
}
} // namespace

class TestAgentRestart : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestRoot root;
        if (!AgentProcess::socketPathFits())
            QSKIP("the socket path below this temporary folder is longer than a socket address holds");
        if (::geteuid() != 0)
            QSKIP("the agent needs a socket root owned by root, which only root can make");
    }

    void startsAgainFromTheReplacedFile()
    {
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        const QString installed = root.system(installedAgent);
        QVERIFY(installAgent(installed));
        const QString release = root.path() + QStringLiteral("/release-clients");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVOREN_STAND_IN_HOLD"), release);
        AgentProcess agent;
        agent.process().setProcessEnvironment(environment);
        agent.process().setProgram(installed);
        QVERIFY(agent.start());
        QVERIFY(agent.waitForLine("log: Cleaning pass removed 0 job folders"));
        const qint64 pid = agent.pid();

        // A client that runs across the restart, its folder past the grace
        // period: only its running keeps it.
        const QByteArray running = oldJob(root, QStringLiteral("job1"));
        QCOMPARE(AgentProcess::answerTo(running), started);
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        oldJob(root, QStringLiteral("job0"));

        QVERIFY(installAgent(installed));
        QCOMPARE(executableOf(pid), installed + QStringLiteral(" (deleted)"));
        QElapsedTimer sinceSignal;
        sinceSignal.start();
        ::kill(pid_t(pid), SIGHUP);
        QVERIFY(agent.waitForLine("log: Starting again from \"" + QFile::encodeName(installed) + "\""));
        QVERIFY(agent.waitForLine("log: Stopped taking jobs"));
        QVERIFY(agent.waitForLine("log: Inside applicationDidFinishLaunching of AppDelegate.", 2));
        QVERIFY(agent.waitForLine("log: Took on 1 clients started before the agent started again"));
        // The new image's first pass spares the running client's folder.
        QVERIFY(agent.waitForLine("log: Cleaning pass removed 1 job folders"));
        QCOMPARE(agent.process().state(), QProcess::Running);
        QCOMPARE(agent.pid(), pid);
        QCOMPARE(executableOf(pid), installed);
        QVERIFY(QFileInfo::exists(root.spoolRoot() + QStringLiteral("/job1/job.pdf")));
        QVERIFY(!QFileInfo::exists(root.spoolRoot() + QStringLiteral("/job0")));

        QCOMPARE(AgentProcess::answerTo("B:: ::/spool/job2/b.pdf"), started);
        qInfo("a job answered %lld ms after the restart signal", sinceSignal.elapsed());
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 2, 20000);
        // The clients of both images are collected once they end.
        QCOMPARE(agent.children(), 2);
        root.writeFile(QStringLiteral("/release-clients"), {});
        QTRY_COMPARE_WITH_TIMEOUT(agent.children(), 0, 20000);
        QCOMPARE(agent.process().state(), QProcess::Running);
    }

    void endsWhenItsFileIsGone()
    {
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        const QString installed = root.system(installedAgent);
        QVERIFY(installAgent(installed));
        AgentProcess agent;
        agent.process().setProgram(installed);
        QVERIFY(agent.start());
        QVERIFY(agent.waitForLine("log: Cleaning pass removed 0 job folders"));
        QVERIFY(QFile::remove(installed));
        ::kill(pid_t(agent.pid()), SIGHUP);
        QVERIFY(agent.process().waitForFinished(20000));
        // As on SIGTERM, after a line that says why, with the socket gone.
        QCOMPARE(agent.process().exitStatus(), QProcess::CrashExit);
        QCOMPARE(agent.process().exitCode(), SIGTERM);
        QCOMPARE(agent.countLines("log: Could not start again from \"" + QFile::encodeName(installed)
                                  + "\": No such file or directory; ending"),
                 1);
        QVERIFY(!QFileInfo::exists(AgentProcess::socketPath()));
        QVERIFY(QFileInfo::exists(AgentProcess::socketFolder(AgentProcess::userName())));
    }
};

QTEST_GUILESS_MAIN(TestAgentRestart)
#include "tst_agentrestart.moc"
