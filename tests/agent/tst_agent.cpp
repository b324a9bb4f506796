// The CorvaneTavorenAgent program: its socket, the messages it takes, the
// clients it starts and the pass SIGUSR1 asks for.
#include "agent/AgentConstants.h"
#include "shared/SystemPath.h"

#include "support/AgentProcess.h"
#include "support/StandInClient.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <cstring>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using tavoren::testsupport::AgentProcess;
using tavoren::testsupport::StandInClient;
using tavoren::testsupport::TestRoot;

class TestAgentProgram : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestRoot root;
        if (!AgentProcess::socketPathFits())
            QSKIP("the socket path below this temporary folder is longer than a socket address holds");
    }

    void messageShapes_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("argument");
        const QByteArray job = "Report.pdf:: ::/spool/job17/Report.pdf";
        QTest::newRow("NUL-terminated") << job + '\0' << job;
        QTest::newRow("followed by end separator") << job + "|| ||further text" + '\0' << job;
        QTest::newRow("1024 bytes without NUL") << QByteArray(1024, 'a') << QByteArray(1024, 'a');
        QTest::newRow("bytes beyond 1024 never read") << QByteArray(1024, 'b') + "tail" << QByteArray(1024, 'b');
        QTest::newRow("invalid UTF-8") << QByteArray("Caf\xE9.pdf:: ::/spool/j/a.pdf\0", 27)
                                       << QByteArray("Caf\xEF\xBF\xBD.pdf:: ::/spool/j/a.pdf");
        QTest::newRow("starts with end separator") << "|| ||" + job << QByteArray();
    }

    void messageShapes()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, argument);
        TestRoot root;
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        QVERIFY(AgentProcess::send(message));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        QCOMPARE(StandInClient::records(root), QList<QByteArrayList>{QByteArrayList{argument}});
        QCOMPARE(agent.countLines("log: Launching KYR Tavoren App"), 1);
    }

    void emptyMessageLaunchesNothing()
    {
        TestRoot root;
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        QVERIFY(AgentProcess::send({}));
        QVERIFY(agent.waitForLine("log: Ending connection"));
        // The server goes on: the next job is launched, and only that one.
        QVERIFY(AgentProcess::send("A:: ::/spool/j/a.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        QCOMPARE(agent.countLines("log: Launching KYR Tavoren App"), 1);
    }

    void startUpLogLines()
    {
        TestRoot root;
        AgentProcess agent;
        QVERIFY(agent.start());
        // No folder from an earlier run: that removal fails and is logged.
        QVERIFY(agent.waitForLine("log: Could not remove \"" + QFile::encodeName(AgentProcess::socketFolder(AgentProcess::userName()))
                                  + "\": No such file or directory"));
        const QByteArray log = agent.standardError();
        QVERIFY2(log.startsWith("log: Inside applicationDidFinishLaunching of AppDelegate.\n"
                                "log: Inside thread UnixDomainSocket\n"),
                 log.constData());
        const QFileInfo socketRoot(QString::fromStdString(tavoren::shared::SystemPath::resolve(tavoren::agent::SOCKET_FULL_PATH)));
        QCOMPARE(int(socketRoot.permissions() & 0x7777), 0x7777);
        QCOMPARE(int(QFileInfo(AgentProcess::socketFolder(AgentProcess::userName())).permissions() & 0x7777), 0x7777);
    }

    void socketFromAnEarlierRun()
    {
        TestRoot root;
        QVERIFY(StandInClient::install(root));
        {
            AgentProcess earlier;
            QVERIFY(earlier.start());
        } // killed: the socket file stays behind
        const QString leftover = AgentProcess::socketFolder(AgentProcess::userName()) + QStringLiteral("/leftover");
        QFile file(leftover);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QFileInfo::exists(AgentProcess::socketPath()));

        AgentProcess agent;
        QVERIFY(agent.start());
        QVERIFY(!QFileInfo::exists(leftover));
        QVERIFY(AgentProcess::send("A:: ::/spool/j/a.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
    }

    // Each user has a folder and a socket of their own below the shared root.
    void twoUsers()
    {
        TestRoot root;
        QVERIFY(StandInClient::install(root));
        const QString other = AgentProcess::socketFolder(QStringLiteral("someone-else"));
        QVERIFY(QDir().mkpath(other));
        // The shared root as the agent itself lays it out.
        QVERIFY(::chmod(QFile::encodeName(QFileInfo(other).path()).constData(), 01777) == 0);
        QFile otherSocket(other + QLatin1Char('/') + QString::fromUtf8(tavoren::agent::SOCKET_FILE));
        QVERIFY(otherSocket.open(QIODevice::WriteOnly));
        otherSocket.close();

        AgentProcess agent;
        QVERIFY(agent.start());
        QVERIFY(otherSocket.exists());

        if (::geteuid() != 0)
            QSKIP("a second user's agent needs root to start it as that user");
        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        // The second agent must reach the root folder and run the stand-in.
        QVERIFY(QFile::setPermissions(root.path(), QFileDevice::Permissions(0x7755)));
        AgentProcess second;
        const uid_t uid = nobody->pw_uid;
        const gid_t gid = nobody->pw_gid;
        second.process().setChildProcessModifier([uid, gid] {
            if (::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(99);
        });
        second.startOnly();
        const QString secondSocket = AgentProcess::socketFolder(QStringLiteral("nobody")) + QLatin1Char('/')
                                     + QString::fromUtf8(tavoren::agent::SOCKET_FILE);
        QTRY_VERIFY2_WITH_TIMEOUT(QFileInfo::exists(secondSocket), second.standardError().constData(), 20000);
        QVERIFY(QFileInfo::exists(AgentProcess::socketPath()));
        QVERIFY(AgentProcess::send("Mine:: ::/spool/j/a.pdf"));
        QVERIFY(AgentProcess::send("Theirs:: ::/spool/k/b.pdf", secondSocket));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 2, 20000);
        QList<QByteArrayList> records = StandInClient::records(root);
        std::sort(records.begin(), records.end());
        QCOMPARE(records, (QList<QByteArrayList>{{"Mine:: ::/spool/j/a.pdf"}, {"Theirs:: ::/spool/k/b.pdf"}}));
        QCOMPARE(QFileInfo(secondSocket).ownerId(), uint(uid));
    }

    // Set-ups that cannot bind end the agent with status 1.
    void cannotBind_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QByteArray>("logLine");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("socket root is a file") << QStringLiteral("file") << QByteArray("log: Could not create \"%1\": Not a directory")
                                               << QByteArray("binding stream socket: Not a directory\n");
        QTest::newRow("socket root not writable") << QStringLiteral("read-only")
                                                  << QByteArray("log: Could not create \"%2\": Permission denied")
                                                  << QByteArray("binding stream socket: No such file or directory\n");
        QTest::newRow("socket path too long") << QStringLiteral("long")
                                              << QByteArray("log: Socket path longer than 107 bytes: %3")
                                              << QByteArray("binding stream socket: File name too long\n");
    }

    void cannotBind()
    {
        QFETCH(QString, obstacle);
        QFETCH(QByteArray, logLine);
        QFETCH(QByteArray, error);
        TestRoot root;
        AgentProcess agent;
        const QString socketRoot = root.system(QString::fromUtf8(tavoren::agent::SOCKET_FULL_PATH));
        if (obstacle == QStringLiteral("file")) {
            root.writeFile(QString::fromUtf8(tavoren::agent::SOCKET_FULL_PATH), "not a folder");
        } else if (obstacle == QStringLiteral("read-only")) {
            if (::geteuid() == 0)
                QSKIP("root writes to folders without write permission; the file variant covers root");
            QVERIFY(QDir().mkpath(socketRoot));
            QVERIFY(QFile::setPermissions(socketRoot, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        } else {
            // A root so deep that the socket path no longer fits an address.
            const QString deep = root.makeDir(QLatin1Char('/') + QString(100, QLatin1Char('d')));
            qputenv("TAVOREN_ROOT", QFile::encodeName(deep));
        }
        const QByteArray userFolder = QFile::encodeName(AgentProcess::socketFolder(AgentProcess::userName()));
        const QByteArray expected = QByteArray(logLine)
                                        .replace("%1", QFile::encodeName(socketRoot))
                                        .replace("%2", userFolder)
                                        .replace("%3", QFile::encodeName(AgentProcess::socketPath()));
        agent.startOnly();
        QVERIFY(agent.process().waitForFinished(20000));
        QFile::setPermissions(socketRoot, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(agent.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.process().exitCode(), 1);
        const QByteArray log = agent.standardError();
        QVERIFY2(log.contains(QByteArray(expected + '\n')), log.constData());
        QVERIFY2(log.endsWith(QByteArray("log: Ending connection\n" + error)), log.constData());
        QVERIFY(!QFileInfo::exists(AgentProcess::socketPath()));
    }

    // A link put where the agent's own socket folder belongs, by someone the
    // agent cannot remove it for, is refused rather than bound into.
    void socketFolderThatIsALink()
    {
        TestRoot root;
        const bool asRoot = ::geteuid() == 0;
        const QString user = asRoot ? QStringLiteral("nobody") : AgentProcess::userName();
        const QString socketRoot = root.system(QString::fromUtf8(tavoren::agent::SOCKET_FULL_PATH));
        const QString elsewhere = root.makeDir(QStringLiteral("/elsewhere"));
        QVERIFY(QFile::setPermissions(elsewhere, QFileDevice::Permissions(0x7777)));
        QVERIFY(QDir().mkpath(socketRoot));
        QVERIFY(QFile::link(elsewhere, AgentProcess::socketFolder(user)));
        AgentProcess agent;
        if (asRoot) {
            // Sticky and root's: the agent, run as nobody, cannot remove root's link.
            const passwd *nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            QVERIFY(::chmod(QFile::encodeName(socketRoot).constData(), 01777) == 0);
            QVERIFY(QFile::setPermissions(root.path(), QFileDevice::Permissions(0x7755)));
            const uid_t uid = nobody->pw_uid;
            const gid_t gid = nobody->pw_gid;
            agent.process().setChildProcessModifier([uid, gid] {
                if (::setgid(gid) != 0 || ::setuid(uid) != 0)
                    ::_exit(99);
            });
        } else {
            QVERIFY(QFile::setPermissions(socketRoot, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }
        agent.startOnly();
        const bool finished = agent.process().waitForFinished(20000);
        QFile::setPermissions(socketRoot, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(finished);
        QCOMPARE(agent.process().exitCode(), 1);
        const QByteArray log = agent.standardError();
        QVERIFY2(log.endsWith(QByteArray("log: Socket folder is not the user's own: " + QFile::encodeName(AgentProcess::socketFolder(user))
                                         + "\nlog: Ending connection\n")),
                 log.constData());
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), QStringList());
    }

    void launchesWithoutWaitingAndReaps()
    {
        TestRoot root;
        QVERIFY(StandInClient::install(root));
        const QString release = root.path() + QStringLiteral("/release-clients");
        AgentProcess agent;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVOREN_STAND_IN_HOLD"), release);
        agent.process().setProcessEnvironment(environment);
        QVERIFY(agent.start());
        // Both clients run at once: the agent did not wait for the first.
        QVERIFY(AgentProcess::send("First:: ::/spool/job1/a.pdf"));
        QVERIFY(AgentProcess::send("Second:: ::/spool/job2/b.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 2, 20000);
        QCOMPARE(agent.children(), 2);
        QList<QByteArrayList> records = StandInClient::records(root);
        std::sort(records.begin(), records.end());
        QCOMPARE(records, (QList<QByteArrayList>{{"First:: ::/spool/job1/a.pdf"}, {"Second:: ::/spool/job2/b.pdf"}}));

        QFile releaseFile(release);
        QVERIFY(releaseFile.open(QIODevice::WriteOnly));
        releaseFile.close();
        // Ended clients are collected, not left as zombies.
        QTRY_COMPARE_WITH_TIMEOUT(agent.children(), 0, 20000);
        QVERIFY(agent.process().state() == QProcess::Running);
    }

    void unstartableClientDoesNotStopTheServer()
    {
        TestRoot root;
        AgentProcess agent;
        QVERIFY(agent.start());
        QVERIFY(AgentProcess::send("A:: ::/spool/j/a.pdf"));
        const QByteArray client = QFile::encodeName(root.system(QString::fromUtf8(tavoren::agent::LAUNCHER_APP_PATH)));
        QVERIFY(agent.waitForLine("log: Could not start the client \"" + client + "\": No such file or directory"));
        QVERIFY(StandInClient::install(root));
        QVERIFY(AgentProcess::send("B:: ::/spool/j/b.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
    }

    // A peer that connects and stays silent is dropped after a while, so the
    // jobs queued behind it still get through.
    void silentPeerDoesNotBlockTheServer()
    {
        TestRoot root;
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        const QByteArray path = QFile::encodeName(AgentProcess::socketPath());
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        const int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(::connect(silent, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0);
        QVERIFY(AgentProcess::send("A:: ::/spool/j/a.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 30000);
        ::close(silent);
        QVERIFY(agent.waitForLine("reading stream message: Resource temporarily unavailable"));
    }

    // SIGUSR1 runs the timer's pass at once.
    void cleaningPassOnSignal()
    {
        TestRoot root;
        QVERIFY(StandInClient::install(root));
        const QString stale = root.makeDir(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job12"));
        root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job12/old.pdf"), "%PDF");
        QVERIFY(TestRoot::setTimesBack(stale, tavoren::agent::JOB_FOLDER_GRACE_SECONDS + 60));
        const QString current = root.makeDir(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job17"));
        root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job17/Report.pdf"), "%PDF");
        root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/.DS_Store"), "");
        AgentProcess agent;
        QVERIFY(agent.start());

        // Before the first job nothing goes.
        ::kill(pid_t(agent.pid()), SIGUSR1);
        QVERIFY(agent.waitForLine("log: Cleaning pass removed 0 job folders"));
        QVERIFY(QFileInfo::exists(stale));

        QVERIFY(AgentProcess::send("Report.pdf:: ::" + QFile::encodeName(current) + "/Report.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        ::kill(pid_t(agent.pid()), SIGUSR1);
        QVERIFY(agent.waitForLine("log: Cleaning pass removed 1 job folders"));
        QVERIFY(!QFileInfo::exists(stale));
        QVERIFY(QFileInfo::exists(current + QStringLiteral("/Report.pdf")));
        QVERIFY(QFileInfo::exists(root.spoolRoot() + QStringLiteral("/.DS_Store")));
        QVERIFY(agent.process().state() == QProcess::Running);
    }

    void endsOnSigterm()
    {
        TestRoot root;
        AgentProcess agent;
        QVERIFY(agent.start());
        ::kill(pid_t(agent.pid()), SIGTERM);
        QVERIFY(agent.process().waitForFinished(20000));
        QCOMPARE(agent.process().exitStatus(), QProcess::CrashExit);
        // Nothing is cleaned up at termination.
        QVERIFY(QFileInfo::exists(AgentProcess::socketPath()));
    }
};

QTEST_GUILESS_MAIN(TestAgentProgram)
#include "tst_agent.moc"
