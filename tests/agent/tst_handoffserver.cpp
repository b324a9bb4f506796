// The agent's socket server in-process: the order in which whole messages
// are handed on, connections beyond the readers' number, and the answer
// byte. What a message is, time limits and peers are shown on the agent
// program (tst_agent).
#include "agent/HandOffServer.h"
#include "shared/HandOff.h"

#include "support/AgentProcess.h"
#include "support/MemorySystemLog.h"
#include "support/TestRoot.h"

#include <QFile>
#include <QTest>

#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using tavoren::agent::HandOffServer;
using tavoren::testsupport::AgentProcess;
using tavoren::testsupport::TestRoot;

namespace {
class Recorder final : public HandOffServer::Receiver
{
public:
    explicit Recorder(bool started)
        : m_started(started)
    {
    }
    bool jobArrived(const std::string &jobArgument) override
    {
        std::lock_guard lock(m_mutex);
        m_arguments.append(QByteArray::fromStdString(jobArgument));
        return m_started;
    }
    QByteArrayList arguments() const
    {
        std::lock_guard lock(m_mutex);
        return m_arguments;
    }

private:
    const bool m_started;
    mutable std::mutex m_mutex;
    QByteArrayList m_arguments;
};

HandOffServer::Settings settings(std::chrono::milliseconds readTimeout)
{
    HandOffServer::Settings result;
    result.readTimeout = readTimeout;
    result.allowedPeers = {::geteuid()};
    return result;
}

// A server on a socket below the test's root, serving on a thread of its own
// until the end of the scope.
class RunningServer
{
public:
    RunningServer(const TestRoot &root, HandOffServer::Settings serverSettings, bool clientsStart = true)
        : m_path(root.path() + QStringLiteral("/s"))
        , m_recorder(clientsStart)
        , m_listener(listenOn(m_path))
        , m_server(m_listener, std::move(serverSettings), m_recorder, m_log)
        , m_thread([this] { m_server.run(); })
    {
    }
    ~RunningServer()
    {
        m_server.stop();
        m_thread.join();
        for (const int fd : m_connections)
            ::close(fd);
        ::close(m_listener);
    }

    // A connection closed with the server.
    int connect()
    {
        const int fd = AgentProcess::connectTo(m_path);
        m_connections.append(fd);
        return fd;
    }
    QByteArrayList arguments() const { return m_recorder.arguments(); }

private:
    static int listenOn(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (std::size_t(name.size()) >= sizeof address.sun_path)
            return -1;
        std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 5) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    QString m_path;
    Recorder m_recorder;
    int m_listener;
    tavoren::testsupport::MemorySystemLog m_log;
    HandOffServer m_server;
    std::thread m_thread;
    QList<int> m_connections;
};
} // namespace

class TestHandOffServer : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestRoot root;
        if (QFile::encodeName(root.path() + QStringLiteral("/s")).size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
            QSKIP("the temporary folder's path is too long for a socket address");
    }

    // Beyond the readers' number, connections wait their turn and are then
    // served.
    void moreConnectionsThanReaders()
    {
        TestRoot root;
        HandOffServer::Settings few = settings(std::chrono::milliseconds(300));
        few.maximumConnections = 2;
        RunningServer server(root, few);
        server.connect();
        server.connect();
        const int fd = server.connect();
        QVERIFY(::send(fd, "Late:: ::/s/l.pdf", 18, MSG_NOSIGNAL) == 18);
        QTRY_COMPARE_WITH_TIMEOUT(server.arguments(), QByteArrayList{"Late:: ::/s/l.pdf"}, 20000);
    }

    void handedOnInTheOrderTheyBecomeWhole()
    {
        TestRoot root;
        RunningServer server(root, settings(std::chrono::minutes(2)));
        const int first = server.connect();
        QVERIFY(AgentProcess::writeAndWaitUntilRead(first, "First:: ::/s/a"));
        const int second = server.connect();
        QVERIFY(AgentProcess::writeAndWaitUntilRead(second, QByteArray("Second:: ::/s/b.pdf", 19) + '\0'));
        QTRY_COMPARE_WITH_TIMEOUT(server.arguments(), QByteArrayList{"Second:: ::/s/b.pdf"}, 20000);
        QVERIFY(AgentProcess::writeAndWaitUntilRead(first, QByteArray(".pdf", 4) + '\0'));
        QTRY_COMPARE_WITH_TIMEOUT(server.arguments(), (QByteArrayList{"Second:: ::/s/b.pdf", "First:: ::/s/a.pdf"}), 20000);
    }

    // One byte after a whole message, after the client was tried; nothing
    // for a connection that ends without one.
    void answerByte_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("endWriting");
        QTest::addColumn<bool>("clientStarts");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("handedOn");
        const QByteArray job = QByteArray("A:: ::/s/a.pdf", 14) + '\0';
        const QByteArray started(1, tavoren::shared::HandOff::clientStarted);
        const QByteArray notStarted(1, tavoren::shared::HandOff::clientNotStarted);
        QTest::newRow("client started") << job << false << true << started << 1;
        QTest::newRow("client not started") << job << false << false << notStarted << 1;
        QTest::newRow("whole at the peer's end of writing") << QByteArray("A:: ::/s/a.pdf") << true << true << started << 1;
        QTest::newRow("no message") << QByteArray() << true << true << QByteArray() << 0;
        QTest::newRow("unfinished at the time limit") << QByteArray("A:: ::/s/a") << false << true << QByteArray() << 0;
    }

    void answerByte()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, endWriting);
        QFETCH(bool, clientStarts);
        QFETCH(QByteArray, answer);
        QFETCH(int, handedOn);
        TestRoot root;
        RunningServer server(root, settings(std::chrono::milliseconds(300)), clientStarts);
        const int fd = server.connect();
        QVERIFY(fd >= 0);
        QVERIFY(sent.isEmpty() || ::send(fd, sent.constData(), std::size_t(sent.size()), MSG_NOSIGNAL) == sent.size());
        if (endWriting)
            ::shutdown(fd, SHUT_WR);
        QCOMPARE(AgentProcess::readUntilClosed(fd), answer);
        QCOMPARE(server.arguments().size(), handedOn);
    }
};

QTEST_GUILESS_MAIN(TestHandOffServer)
#include "tst_handoffserver.moc"
