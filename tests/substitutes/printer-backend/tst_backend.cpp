// The corvanetavoren program as the print scheduler runs it: its command
// line, exit codes, messages, and the message the user's agent receives.
#include "agent/AgentConstants.h"

#include "support/AgentProcess.h"
#include "support/StandInClient.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using tavoren::testsupport::AgentProcess;
using tavoren::testsupport::StandInClient;
using tavoren::testsupport::TestRoot;

namespace {
const QString backendPath = QStringLiteral(TAVOREN_TOOLS_DIR "/corvanetavoren");

QStringList jobFolders(const TestRoot &root)
{
    return QDir(root.spoolRoot()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QStringList jobArguments(const QString &title, const QString &file = QString())
{
    QStringList arguments{QStringLiteral("42"), AgentProcess::userName(), title, QStringLiteral("1"), QStringLiteral("")};
    if (!file.isEmpty())
        arguments << file;
    return arguments;
}

// A socket of the user's own, in place of the agent, that keeps the bytes.
class Listener
{
public:
    bool listen(const QString &user = AgentProcess::userName())
    {
        QDir().mkpath(AgentProcess::socketFolder(user));
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        return m_server.listen(AgentProcess::socketFolder(user) + QLatin1Char('/') + QString::fromUtf8(tavoren::agent::SOCKET_FILE));
    }
    QByteArray receive()
    {
        if (!m_server.waitForNewConnection(20000))
            return {};
        QLocalSocket *socket = m_server.nextPendingConnection();
        QByteArray bytes;
        // The backend closes its sending side after the message.
        while (socket->state() == QLocalSocket::ConnectedState && socket->waitForReadyRead(20000))
            bytes += socket->readAll();
        bytes += socket->readAll();
        socket->disconnectFromServer();
        return bytes;
    }

private:
    QLocalServer m_server;
};
} // namespace

class TestPrinterBackendProgram : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestRoot root;
        if (!AgentProcess::socketPathFits())
            QSKIP("the socket path below this temporary folder is longer than a socket address holds");
    }

    void deviceLineWithoutArguments()
    {
        QProcess backend;
        backend.start(backendPath, {});
        QVERIFY(backend.waitForFinished(20000));
        QCOMPARE(backend.exitCode(), 0);
        QCOMPARE(backend.readAllStandardOutput(), QByteArray("direct corvanetavoren:/ \"Unknown\" \"Corvane Tavoren print release\"\n"));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("error");
        const QString user = AgentProcess::userName();
        const QString t = QStringLiteral("Doc");
        const QString one = QStringLiteral("1");
        const QString none;
        const QByteArray noUser = "ERROR: No such user for this job\n";
        QTest::newRow("too few") << QStringList{QStringLiteral("42"), user} << 1
                                 << QByteArray("ERROR: Usage: corvanetavoren job-id user title copies options [file]\n");
        QTest::newRow("too many") << QStringList{QStringLiteral("42"), user, t, one, none, QStringLiteral("f"), QStringLiteral("g")} << 1
                                  << QByteArray("ERROR: Usage: corvanetavoren job-id user title copies options [file]\n");
        QTest::newRow("job id not a number") << QStringList{QStringLiteral("4x"), user, t, one, none} << 1 << QByteArray("ERROR: Bad job id\n");
        QTest::newRow("user with a path") << QStringList{QStringLiteral("42"), QStringLiteral("../") + user, t, one, none} << 5 << noUser;
        QTest::newRow("user with a slash") << QStringList{QStringLiteral("42"), QStringLiteral("a/b"), t, one, none} << 5 << noUser;
        QTest::newRow("user dot-dot") << QStringList{QStringLiteral("42"), QStringLiteral(".."), t, one, none} << 5 << noUser;
        QTest::newRow("empty user") << QStringList{QStringLiteral("42"), none, t, one, none} << 5 << noUser;
        QTest::newRow("user with a newline") << QStringList{QStringLiteral("42"), user + QStringLiteral("\nINFO: x"), t, one, none} << 5 << noUser;
        QTest::newRow("unknown user") << QStringList{QStringLiteral("42"), QStringLiteral("no-such-user-tavoren"), t, one, none} << 5 << noUser;
        QTest::newRow("overlong user") << QStringList{QStringLiteral("42"), QString(33, QLatin1Char('u')), t, one, none} << 5 << noUser;
        QTest::newRow("missing file") << QStringList{QStringLiteral("42"), user, t, one, none, QStringLiteral("/nonexistent/job.pdf")} << 1
                                      << QByteArray("ERROR: Cannot open the print file: No such file or directory\n");
        // Run by root, the backend runs as nobody for this row.
        QTest::newRow("backend neither root nor the user") << QStringList{QStringLiteral("42"), QStringLiteral("root"), t, one, none} << 1
            << QByteArray("ERROR: Cannot spool for root: the backend runs neither as root nor as that user\n");
    }

    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, error);
        TestRoot root;
        QProcess backend;
        if (::geteuid() == 0 && QByteArray(QTest::currentDataTag()) == "backend neither root nor the user") {
            const passwd *nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            const uid_t uid = nobody->pw_uid;
            const gid_t gid = nobody->pw_gid;
            backend.setChildProcessModifier([uid, gid] {
                if (::setgid(gid) != 0 || ::setuid(uid) != 0)
                    ::_exit(99);
            });
        }
        backend.start(backendPath, arguments);
        backend.closeWriteChannel();
        QVERIFY(backend.waitForFinished(20000));
        QCOMPARE(backend.exitCode(), exitCode);
        QCOMPARE(backend.readAllStandardError(), error);
        QCOMPARE(jobFolders(root), QStringList());
    }

    // Nothing printed is lost while the user is away: no folder stays
    // behind, and the scheduler is asked to retry later.
    void agentUnreachable_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("no socket") << QStringLiteral("none") << QByteArray("No such file or directory");
        QTest::newRow("socket of an ended agent") << QStringLiteral("stale") << QByteArray("Connection refused");
        QTest::newRow("someone else's socket") << QStringLiteral("foreign") << QByteArray(" is not a socket of ");
        // Passes the owner check, yet another user listens on it.
        QTest::newRow("user's socket, someone else listening") << QStringLiteral("listener") << QByteArray(" is not served by an agent of nobody");
    }

    void agentUnreachable()
    {
        QFETCH(QString, situation);
        QFETCH(QByteArray, reason);
        TestRoot root;
        if (situation == QStringLiteral("stale")) {
            if (!root.makeSocketRoot())
                QSKIP("the agent needs a socket root owned by root, which only root can make");
            AgentProcess ended;
            QVERIFY(ended.start());
        } else if (situation != QStringLiteral("none")) {
            if (::geteuid() != 0)
                QSKIP("only root can give a socket to another user");
            const bool listener = situation == QStringLiteral("listener");
            const QString user = listener ? QStringLiteral("nobody") : AgentProcess::userName();
            Listener server;
            QVERIFY(server.listen(user));
            const passwd *nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            const QString socket = AgentProcess::socketFolder(user) + QLatin1Char('/') + QString::fromUtf8(tavoren::agent::SOCKET_FILE);
            QVERIFY(::lchown(QFile::encodeName(socket).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
            QStringList arguments = jobArguments(QStringLiteral("Doc"));
            arguments[1] = user;
            QProcess backend;
            backend.start(backendPath, arguments);
            backend.write("%PDF-1.4");
            backend.closeWriteChannel();
            QVERIFY(backend.waitForFinished(20000));
            QCOMPARE(backend.exitCode(), 6);
            QVERIFY(backend.readAllStandardError().contains(reason));
            QCOMPARE(jobFolders(root), QStringList());
            return;
        }
        QProcess backend;
        backend.start(backendPath, jobArguments(QStringLiteral("Doc")));
        backend.write("%PDF-1.4");
        backend.closeWriteChannel();
        QVERIFY(backend.waitForFinished(20000));
        QCOMPARE(backend.exitCode(), 6);
        const QByteArray messages = backend.readAllStandardError();
        QVERIFY2(messages.startsWith(QByteArray("INFO: Spooling job 42 for " + AgentProcess::userName().toUtf8() + "\n")), messages.constData());
        QVERIFY2(messages.contains(QByteArray("ERROR: The hand-off agent of " + AgentProcess::userName().toUtf8() + " cannot be reached (")),
                 messages.constData());
        QVERIFY2(messages.contains(reason), messages.constData());
        QVERIFY2(messages.endsWith("); the job will be retried\n"), messages.constData());
        QCOMPARE(jobFolders(root), QStringList());
    }

    // The message on the wire and the file it names.
    void messageToTheAgent_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("standard input") << false << QStringLiteral("Quarterly report.pdf") << QByteArray("Quarterly report.pdf");
        QTest::newRow("file argument") << true << QStringLiteral("Menu.pdf") << QByteArray("Menu.pdf");
        QTest::newRow("title with separators") << false << QStringLiteral("a:: ::b|| ||c") << QByteArray("a:: :b|| |c");
    }

    void messageToTheAgent()
    {
        QFETCH(bool, fromFile);
        QFETCH(QString, title);
        QFETCH(QByteArray, name);
        TestRoot root;
        Listener listener;
        QVERIFY(listener.listen());
        const QByteArray document = "%PDF-1.4\n" + QByteArray(300000, 'z') + "%%EOF\n";
        const QString input = root.writeFile(QStringLiteral("/cups/d00042-001"), document);
        QProcess backend;
        if (!fromFile)
            backend.setStandardInputFile(input);
        backend.start(backendPath, jobArguments(title, fromFile ? input : QString()));
        const QByteArray message = listener.receive();
        QVERIFY(backend.waitForFinished(20000));
        const QByteArray messages = backend.readAllStandardError();
        QCOMPARE(backend.exitCode(), 0);
        QCOMPARE(messages, "INFO: Spooling job 42 for " + AgentProcess::userName().toUtf8() + "\nINFO: Job 42 handed to the hand-off agent of "
                               + AgentProcess::userName().toUtf8() + "\n");

        QVERIFY(message.endsWith('\0'));
        QCOMPARE(message.count('\0'), 1);
        const qsizetype separator = message.indexOf(":: ::", name.size());
        QCOMPARE(message.left(separator), name);
        const QString file = QFile::decodeName(message.mid(separator + 5).chopped(1));
        const QFileInfo info(file);
        QCOMPARE(info.fileName(), QStringLiteral("job42.pdf"));
        QCOMPARE(QFileInfo(info.path()).path(), root.spoolRoot());
        QVERIFY(QFileInfo(info.path()).fileName().startsWith(QStringLiteral("job42-")));
        QFile spooled(file);
        QVERIFY(spooled.open(QIODevice::ReadOnly));
        QCOMPARE(spooled.readAll(), document);
        QCOMPARE(QDir(info.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("job42.pdf")});
    }

    // Backend, agent and client together.
    void handsTheJobToTheClient()
    {
        TestRoot root;
        if (!root.makeSocketRoot())
            QSKIP("the agent needs a socket root owned by root, which only root can make");
        QVERIFY(StandInClient::install(root));
        AgentProcess agent;
        QVERIFY(agent.start());
        QProcess backend;
        backend.start(backendPath, jobArguments(QStringLiteral("Report.pdf")));
        backend.write("%PDF-1.4 report");
        backend.closeWriteChannel();
        QVERIFY(backend.waitForFinished(20000));
        QCOMPARE(backend.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
        const QByteArrayList arguments = StandInClient::records(root).first();
        QCOMPARE(arguments.size(), 1);
        QVERIFY(arguments.first().startsWith(QByteArray("Report.pdf:: ::" + QFile::encodeName(root.spoolRoot()) + "/job42-")));
        QFile spooled(QFile::decodeName(arguments.first().mid(15)));
        QVERIFY(spooled.open(QIODevice::ReadOnly));
        QCOMPARE(spooled.readAll(), QByteArray("%PDF-1.4 report"));
    }
};

QTEST_GUILESS_MAIN(TestPrinterBackendProgram)
#include "tst_backend.moc"
