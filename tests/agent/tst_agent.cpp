// The CorvaneTavorenAgent program: the socket root it accepts, its private
// socket, the messages it takes, the peers it serves, the clients it starts
// and its cleaning passes; another local user tries what an attacker would.
#include "agent/AgentConstants.h"
#include "shared/HandOff.h"
#include "shared/SystemPath.h"

#include "support/AgentProcess.h"
#include "support/SecondUser.h"
#include "support/StandInClient.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using tavoren::testsupport::AgentProcess;
using tavoren::testsupport::SecondUser;
using tavoren::testsupport::StandInClient;
using tavoren::testsupport::TestRoot;

namespace {
// Runs a shell script as the second user, its arguments as $1, $2, ...
int asSecondUser(const QString &script, const QStringList &arguments, QByteArray *output = nullptr)
{
    return SecondUser::run(QStringLiteral("/bin/sh"), QStringList{QStringLiteral("-c"), script, QStringLiteral("sh")} + arguments,
                           output);
}

mode_t modeOf(const QString &path, uid_t *owner = nullptr)
{
    struct stat status{};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    if (owner)
        *owner = status.st_uid;
    return status.st_mode;
}

QStringList entriesOf(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// Starts the agent with its time limit for a whole message.
bool startWithReadTimeout(AgentProcess &agent, int milliseconds)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromUtf8(tavoren::agent::READ_TIMEOUT_VARIABLE), QString::number(milliseconds));
    agent.process().setProcessEnvironment(environment);
    return agent.start();
}

QByteArray socketFolderLine(const QString &user)
{
    return "log: Socket folder is not the user's own: " + QFile::encodeName(AgentProcess::socketFolder(user)) + "\nlog: Ending connection\n";
}
} // namespace

class TestAgentProgram : public QObject
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
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        QCOMPARE(AgentProcess::answerTo(message), QByteArray(1, tavoren::shared::HandOff::clientStarted));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        QCOMPARE(StandInClient::records(root), QList<QByteArrayList>{QByteArrayList{argument}});
        QVERIFY(agent.waitForLine("log: Launching KYR Tavoren App"));
        QCOMPARE(agent.countLines("log: Launching KYR Tavoren App"), 1);
    }

    // The agent has read each piece before the next is written.
    void messageInSeveralWrites_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<bool>("endWriting");
        QTest::addColumn<QByteArray>("argument");
        const QByteArray job = "Report.pdf:: ::/spool/job17/Report.pdf";
        QTest::newRow("NUL in the last of three") << QByteArrayList{job.left(19), job.mid(19, 12), job.mid(31) + '\0'} << false << job;
        QTest::newRow("end separator across two") << QByteArrayList{job + "|| ", "||tail"} << false << job;
        QTest::newRow("ended by the peer's end of writing") << QByteArrayList{job.left(10), job.mid(10)} << true << job;
        QTest::newRow("1024 bytes over two") << QByteArrayList{QByteArray(600, 'a'), QByteArray(600, 'b')} << false
                                             << QByteArray(600, 'a') + QByteArray(424, 'b');
    }

    void messageInSeveralWrites()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(bool, endWriting);
        QFETCH(QByteArray, argument);
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        const int fd = AgentProcess::connectTo();
        QVERIFY(fd >= 0);
        bool written = true;
        for (const QByteArray &piece : std::as_const(pieces))
            written = written && AgentProcess::writeAndWaitUntilRead(fd, piece);
        if (endWriting)
            ::shutdown(fd, SHUT_WR);
        const QByteArray answer = AgentProcess::readUntilClosed(fd);
        ::close(fd);
        QVERIFY(written);
        QCOMPARE(answer, QByteArray(1, tavoren::shared::HandOff::clientStarted));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        QCOMPARE(StandInClient::records(root), QList<QByteArrayList>{QByteArrayList{argument}});
        QVERIFY(agent.waitForLine("log: Launching KYR Tavoren App"));
        QCOMPARE(agent.countLines("log: Launching KYR Tavoren App"), 1);
    }

    void emptyMessageLaunchesNothing()
    {
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        // No message, no answer.
        const int fd = AgentProcess::connectTo();
        QVERIFY(fd >= 0);
        ::shutdown(fd, SHUT_WR);
        const QByteArray answer = AgentProcess::readUntilClosed(fd);
        ::close(fd);
        QCOMPARE(answer, QByteArray());
        QVERIFY(agent.waitForLine("log: Ending connection"));
        // The server goes on: the next job is launched, and only that one.
        QVERIFY(AgentProcess::send("A:: ::/spool/j/a.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        QVERIFY(agent.waitForLine("log: Launching KYR Tavoren App"));
        QCOMPARE(agent.countLines("log: Launching KYR Tavoren App"), 1);
    }

    // The user's folder is private to the user and the socket to the user
    // and root; the shared root is left as the driver package made it.
    void startUpLogLinesAndModes()
    {
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        AgentProcess agent;
        QVERIFY(agent.start());
        // The first pass follows the set-up of the socket.
        QVERIFY(agent.waitForLine("log: Cleaning pass removed 0 job folders"));
        // No folder from an earlier run is nothing to remove, and nothing to say.
        QVERIFY2(!agent.standardError().contains("Could not remove"), agent.standardError().constData());
        const QByteArray log = agent.standardError();
        QVERIFY2(log.startsWith("log: Inside applicationDidFinishLaunching of AppDelegate.\n"
                                "log: Inside thread UnixDomainSocket\n"),
                 log.constData());
        uid_t owner = 1;
        QCOMPARE(modeOf(root.socketRoot(), &owner), mode_t(S_IFDIR | 01777));
        QCOMPARE(owner, uid_t(0));
        QCOMPARE(modeOf(AgentProcess::socketFolder(AgentProcess::userName()), &owner), mode_t(S_IFDIR | 0700));
        QCOMPARE(owner, ::geteuid());
        QCOMPARE(modeOf(AgentProcess::socketPath(), &owner), mode_t(S_IFSOCK | 0600));
        QCOMPARE(owner, ::geteuid());
    }

    void socketFromAnEarlierRun()
    {
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
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
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        const QString other = AgentProcess::socketFolder(QStringLiteral("someone-else"));
        QVERIFY(QDir().mkpath(other));
        QFile otherSocket(other + QLatin1Char('/') + QString::fromUtf8(tavoren::agent::SOCKET_FILE));
        QVERIFY(otherSocket.open(QIODevice::WriteOnly));
        otherSocket.close();

        AgentProcess agent;
        QVERIFY(agent.start());
        QVERIFY(otherSocket.exists());

        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        // The second agent must reach the root folder and run the stand-in.
        QVERIFY(root.openToOthers());
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
        // Root's backend reaches every user's private socket.
        QVERIFY(AgentProcess::send("Theirs:: ::/spool/k/b.pdf", secondSocket));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 2, 20000);
        QList<QByteArrayList> records = StandInClient::records(root);
        std::sort(records.begin(), records.end());
        QCOMPARE(records, (QList<QByteArrayList>{{"Mine:: ::/spool/j/a.pdf"}, {"Theirs:: ::/spool/k/b.pdf"}}));
        QCOMPARE(QFileInfo(secondSocket).ownerId(), uint(uid));
    }

    // A socket root other than root's sticky folder, or a socket path that
    // cannot be bound, ends the agent with status 1 before anything is
    // made or removed.
    void refusesToStart_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QByteArray>("logLine");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("socket root missing") << QStringLiteral("missing")
                                             << QByteArray("The socket root \"%1\" is missing; the driver package makes it") << QByteArray();
        QTest::newRow("socket root a link planted by another user")
            << QStringLiteral("link") << QByteArray("The socket root \"%1\" is a symbolic link") << QByteArray();
        QTest::newRow("socket root a file") << QStringLiteral("file") << QByteArray("The socket root \"%1\" is not a folder") << QByteArray();
        QTest::newRow("socket root not root's") << QStringLiteral("foreign") << QByteArray("The socket root \"%1\" is not owned by root")
                                                << QByteArray();
        QTest::newRow("socket root not sticky") << QStringLiteral("not sticky")
                                                << QByteArray("The socket root \"%1\" does not have the sticky bit") << QByteArray();
        QTest::newRow("socket path too long") << QStringLiteral("long") << QByteArray("Socket path longer than 107 bytes: %2")
                                              << QByteArray("binding stream socket: File name too long\n");
    }

    void refusesToStart()
    {
        QFETCH(QString, obstacle);
        QFETCH(QByteArray, logLine);
        QFETCH(QByteArray, error);
        QString reason;
        QVERIFY2(SecondUser::ensure(&reason), qPrintable(reason));
        TestRoot root;
        // What a link might lead the agent to: a folder named after its user.
        const QString victim = root.makeDir(QStringLiteral("/victim/") + AgentProcess::userName());
        root.writeFile(QStringLiteral("/victim/") + AgentProcess::userName() + QStringLiteral("/precious.txt"), "keep");
        if (obstacle == QStringLiteral("link")) {
            // /private/tmp is open to everybody, as on the computer.
            QVERIFY(root.openToOthers());
            QVERIFY(root.makeSharedFolder(QStringLiteral("/private/tmp")));
            QCOMPARE(asSecondUser(QStringLiteral("ln -s \"$1\" \"$2\""), {QFileInfo(victim).path(), root.socketRoot()}), 0);
        } else if (obstacle == QStringLiteral("file")) {
            root.writeFile(QStringLiteral("/private/tmp/Corvane_Tavoren_Socket"), "not a folder");
        } else if (obstacle == QStringLiteral("foreign")) {
            QVERIFY(root.makeSocketRoot());
            QVERIFY(::chown(QFile::encodeName(root.socketRoot()).constData(), SecondUser::uid(), SecondUser::gid()) == 0);
        } else if (obstacle == QStringLiteral("not sticky")) {
            QVERIFY(root.makeSocketRoot());
            QVERIFY(::chmod(QFile::encodeName(root.socketRoot()).constData(), 0777) == 0);
        } else if (obstacle == QStringLiteral("long")) {
            // A root so deep that the socket path no longer fits an address.
            const QString deep = root.makeDir(QLatin1Char('/') + QString(100, QLatin1Char('d')));
            qputenv("TAVOREN_ROOT", QFile::encodeName(deep));
            QVERIFY(root.makeSharedFolder(QLatin1Char('/') + QString(100, QLatin1Char('d')) + QStringLiteral("/private/tmp/Corvane_Tavoren_Socket")));
        }
        const QString socketRoot = QString::fromStdString(tavoren::shared::SystemPath::resolve(tavoren::agent::SOCKET_FULL_PATH));
        const QStringList before = entriesOf(socketRoot);
        const QByteArray expected = "log: "
                                    + QByteArray(logLine)
                                          .replace("%1", QFile::encodeName(socketRoot))
                                          .replace("%2", QFile::encodeName(AgentProcess::socketPath()))
                                    + "\nlog: Ending connection\n" + error;
        AgentProcess agent;
        agent.startOnly();
        QVERIFY(agent.process().waitForFinished(20000));
        QCOMPARE(agent.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.process().exitCode(), 1);
        const QByteArray log = agent.standardError();
        QVERIFY2(log.endsWith(expected), log.constData());
        QCOMPARE(entriesOf(socketRoot), before);
        QCOMPARE(entriesOf(victim), QStringList{QStringLiteral("precious.txt")});
    }

    // Another user got there first and put something of theirs in the
    // place of the user's folder: the agent (here root's, whom the sticky
    // bit does not hold back) leaves it alone and does not start.
    void entryOfAnotherUserInTheFoldersPlace_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("their folder") << QStringLiteral("mkdir \"$2\" && echo theirs > \"$2/theirs.txt\"");
        QTest::newRow("link to their folder")
            << QStringLiteral("mkdir \"$1/theirs\" && echo theirs > \"$1/theirs/theirs.txt\" && ln -s \"$1/theirs\" \"$2\"");
        QTest::newRow("link to nowhere") << QStringLiteral("ln -s \"$1/nowhere\" \"$2\"");
    }

    void entryOfAnotherUserInTheFoldersPlace()
    {
        QFETCH(QString, script);
        QString reason;
        QVERIFY2(SecondUser::ensure(&reason), qPrintable(reason));
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(root.openToOthers());
        QVERIFY(root.makeSharedFolder(QStringLiteral("/scratch")));
        const QString folder = AgentProcess::socketFolder(AgentProcess::userName());
        QCOMPARE(asSecondUser(script, {root.system(QStringLiteral("/scratch")), folder}), 0);
        const QStringList planted = entriesOf(folder);
        const QStringList scratch = entriesOf(root.system(QStringLiteral("/scratch/theirs")));

        AgentProcess agent;
        agent.startOnly();
        QVERIFY(agent.process().waitForFinished(20000));
        QCOMPARE(agent.process().exitCode(), 1);
        const QByteArray log = agent.standardError();
        QVERIFY2(log.endsWith(socketFolderLine(AgentProcess::userName())), log.constData());
        uid_t owner = 0;
        QVERIFY(modeOf(folder, &owner) != 0);
        QCOMPARE(owner, SecondUser::uid());
        QCOMPARE(entriesOf(folder), planted);
        QCOMPARE(entriesOf(root.system(QStringLiteral("/scratch/theirs"))), scratch);
    }

    // Another user can neither hand a job to the agent nor remove its socket.
    void anotherUserCannotReachTheSocket()
    {
        QString reason;
        QVERIFY2(SecondUser::ensure(&reason), qPrintable(reason));
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(root.openToOthers());
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        const QString folder = AgentProcess::socketFolder(AgentProcess::userName());

        QByteArray output;
        QCOMPARE(SecondUser::run(QStringLiteral(TAVOREN_AGENT_SENDER), {AgentProcess::socketPath(), QStringLiteral("1"), QStringLiteral("intruder")},
                                 &output),
                 1);
        QVERIFY2(output.contains("Permission denied"), output.constData());
        QVERIFY(asSecondUser(QStringLiteral("rm -f \"$1\""), {AgentProcess::socketPath()}) != 0);
        QVERIFY(asSecondUser(QStringLiteral("rm -rf \"$1\""), {folder}) != 0);
        QVERIFY(asSecondUser(QStringLiteral("mv \"$1\" \"$1.moved\""), {folder}) != 0);
        QVERIFY(S_ISSOCK(modeOf(AgentProcess::socketPath())));

        QVERIFY(AgentProcess::send("Mine:: ::/spool/j/a.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        QCOMPARE(StandInClient::records(root), QList<QByteArrayList>{{"Mine:: ::/spool/j/a.pdf"}});
    }

    // Should the folder and socket ever be open to others, the agent still
    // takes jobs only from root and its own user.
    void peersOfOtherUsersAreDropped()
    {
        QString reason;
        QVERIFY2(SecondUser::ensure(&reason), qPrintable(reason));
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(root.openToOthers());
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        // After the agent's own set-up of the modes.
        QVERIFY(agent.waitForLine("log: Cleaning pass removed 0 job folders"));
        QVERIFY(::chmod(QFile::encodeName(AgentProcess::socketFolder(AgentProcess::userName())).constData(), 0711) == 0);
        QVERIFY(::chmod(QFile::encodeName(AgentProcess::socketPath()).constData(), 0666) == 0);

        // Dropped as it is taken: the sender may see its message through or not.
        QVERIFY(SecondUser::run(QStringLiteral(TAVOREN_AGENT_SENDER),
                                {AgentProcess::socketPath(), QStringLiteral("1"), QStringLiteral("intruder")})
                >= 0);
        QVERIFY(agent.waitForLine("log: Dropping a connection from user id " + QByteArray::number(SecondUser::uid())
                                  + ": only root and the agent's own user hand off jobs"));
        QVERIFY(AgentProcess::send("Mine:: ::/spool/j/a.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        QCOMPARE(StandInClient::records(root), QList<QByteArrayList>{{"Mine:: ::/spool/j/a.pdf"}});
        QVERIFY(agent.waitForLine("log: Launching KYR Tavoren App"));
        QCOMPARE(agent.countLines("log: Launching KYR Tavoren App"), 1);
    }

    void launchesWithoutWaitingAndReaps()
    {
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
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

    // The sender learns that no client started; the next job still finds
    // the server.
    void unstartableClientDoesNotStopTheServer_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("missing") << false << QByteArray("No such file or directory");
        QTest::newRow("not executable") << true << QByteArray("Permission denied");
    }

    void unstartableClientDoesNotStopTheServer()
    {
        QFETCH(bool, present);
        QFETCH(QByteArray, reason);
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        if (present)
            root.writeFile(QString::fromUtf8(tavoren::agent::LAUNCHER_APP_PATH), "#!/bin/sh\n");
        AgentProcess agent;
        QVERIFY(agent.start());
        QCOMPARE(AgentProcess::answerTo("A:: ::/spool/j/a.pdf"), QByteArray(1, tavoren::shared::HandOff::clientNotStarted));
        const QByteArray client = QFile::encodeName(root.system(QString::fromUtf8(tavoren::agent::LAUNCHER_APP_PATH)));
        QVERIFY(agent.waitForLine("log: Could not start the client \"" + client + "\": " + reason));
        QVERIFY(StandInClient::install(root));
        QCOMPARE(AgentProcess::answerTo("B:: ::/spool/j/b.pdf"), QByteArray(1, tavoren::shared::HandOff::clientStarted));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
    }

    // A sender that does not take the answer costs the agent nothing: the
    // next job is handed on and answered.
    void answerNotTaken_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::newRow("closes at once") << QStringLiteral("close");
        QTest::newRow("has shut its reading") << QStringLiteral("shut");
        QTest::newRow("never reads") << QStringLiteral("silent");
    }

    void answerNotTaken()
    {
        QFETCH(QString, peer);
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        const QByteArray first = QByteArray("A:: ::/spool/j/a.pdf", 20) + '\0';
        int kept = -1;
        if (peer == QStringLiteral("close")) {
            QVERIFY(AgentProcess::send(first));
        } else {
            kept = AgentProcess::connectTo();
            QVERIFY(kept >= 0);
            // Writing to a peer that has shut its reading fails at once.
            if (peer == QStringLiteral("shut"))
                QVERIFY(::shutdown(kept, SHUT_RD) == 0);
            QVERIFY(::send(kept, first.constData(), std::size_t(first.size()), MSG_NOSIGNAL) == first.size());
        }
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        QCOMPARE(AgentProcess::answerTo("B:: ::/spool/j/b.pdf"), QByteArray(1, tavoren::shared::HandOff::clientStarted));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 2, 20000);
        QVERIFY(agent.process().state() == QProcess::Running);
        if (kept >= 0) {
            // The agent closed its end all the same; the answer waits unread.
            const QByteArray answer = AgentProcess::readUntilClosed(kept);
            ::close(kept);
            QCOMPARE(answer, peer == QStringLiteral("silent") ? QByteArray(1, tavoren::shared::HandOff::clientStarted) : QByteArray());
        }
    }

    // Peers that connect and stay silent, each holding its connection for a
    // long time limit, do not keep a job from being handed on.
    void silentPeersDoNotHoldUpAJob()
    {
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(startWithReadTimeout(agent, 120000));
        QList<int> silent;
        for (int i = 0; i < 10; ++i)
            silent.append(AgentProcess::connectTo());
        QVERIFY(AgentProcess::send(QByteArray("A:: ::/spool/j/a.pdf", 20) + '\0'));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        for (const int fd : std::as_const(silent)) {
            QVERIFY(fd >= 0);
            QVERIFY(!AgentProcess::closedByPeer(fd));
            ::close(fd);
        }
    }

    // At the time limit a connection ends, its message unfinished or not,
    // and what it sent is not handed on.
    void timeLimitEndsAConnection_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("silent") << QByteArray();
        QTest::newRow("part of a message") << QByteArray("Report.pdf:: ::/spool/jo");
    }

    void timeLimitEndsAConnection()
    {
        QFETCH(QByteArray, sent);
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(startWithReadTimeout(agent, 300));
        const int fd = AgentProcess::connectTo();
        QVERIFY(fd >= 0);
        const bool written = sent.isEmpty() || AgentProcess::writeAndWaitUntilRead(fd, sent);
        // Closed without an answer: nothing was handed on.
        const QByteArray answer = AgentProcess::readUntilClosed(fd);
        ::close(fd);
        QVERIFY(written);
        QCOMPARE(answer, QByteArray());
        QVERIFY(agent.waitForLine("reading stream message: Resource temporarily unavailable"));
        QVERIFY(AgentProcess::send("A:: ::/spool/j/a.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        QCOMPARE(StandInClient::records(root), QList<QByteArrayList>{{"A:: ::/spool/j/a.pdf"}});
    }

    // Folders left from before the agent ran go before the first job is
    // taken, by the pass's own rules.
    void cleaningPassBeforeTheFirstJob()
    {
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        const QString spool = root.spoolRoot();
        for (const QString &name : {QStringLiteral("job12"), QStringLiteral("job13"), QStringLiteral("job18")}) {
            root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/") + name + QStringLiteral("/a.pdf"), "%PDF");
            if (name != QStringLiteral("job18")) // job18 was spooled just now
                QVERIFY(TestRoot::setTimesBack(spool + QLatin1Char('/') + name, tavoren::agent::JOB_FOLDER_GRACE_SECONDS + 60));
        }
        // Another user's job is left to their own agent.
        QVERIFY(::chown(QFile::encodeName(spool + QStringLiteral("/job13")).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/.DS_Store"), "");

        AgentProcess agent;
        QVERIFY(agent.start());
        QVERIFY(AgentProcess::send("A:: ::" + QFile::encodeName(spool) + "/job18/a.pdf"));
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        const QByteArray log = agent.standardError();
        const qsizetype pass = log.indexOf("log: Cleaning pass removed 1 job folders\n");
        QVERIFY2(pass >= 0 && pass < log.indexOf("log: Launching KYR Tavoren App\n"), log.constData());
        QCOMPARE(entriesOf(spool), (QStringList{QStringLiteral(".DS_Store"), QStringLiteral("job13"), QStringLiteral("job18")}));
    }

    // SIGUSR1 runs the timer's pass at once.
    void cleaningPassOnSignal()
    {
        TestRoot root;
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        QVERIFY(agent.waitForLine("log: Cleaning pass removed 0 job folders"));
        const QString stale = root.makeDir(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job12"));
        root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job12/old.pdf"), "%PDF");
        QVERIFY(TestRoot::setTimesBack(stale, tavoren::agent::JOB_FOLDER_GRACE_SECONDS + 60));
        const QString current = root.makeDir(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job17"));
        root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job17/Report.pdf"), "%PDF");
        root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/.DS_Store"), "");

        // Until a job has been handed off, the timer's pass keeps everything.
        ::kill(pid_t(agent.pid()), SIGUSR1);
        QVERIFY(agent.waitForLine("log: Cleaning pass removed 0 job folders", 2));
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
        QVERIFY(root.makeSocketRoot());
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
