// Whether a client could show its window: the Linux check of the session
// the agent runs in, and the agent program answering "not started" without
// starting a client when there is none.
#include "agent/AgentConstants.h"
#include "agent/LinuxGraphicalSession.h"
#include "shared/HandOff.h"
#include "shared/SocketAddress.h"

#include "support/AgentProcess.h"
#include "support/StandInClient.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <cstddef>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using tavoren::agent::LinuxGraphicalSession;
using tavoren::testsupport::AgentProcess;
using tavoren::testsupport::StandInClient;
using tavoren::testsupport::TestRoot;

namespace {
const char *const sessionVariables[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR",
                                        tavoren::agent::X11_SOCKET_FOLDER_VARIABLE};

// A display server's listening socket, by path or by abstract name; with
// `stale` the socket file stays after the listener has gone.
class FakeServer
{
public:
    bool listen(const QString &path, bool abstract = false, bool stale = false)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        if (m_fd < 0 || std::size_t(name.size()) + 1 >= sizeof address.sun_path)
            return false;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + (abstract ? 1 : 0), name.constData(), std::size_t(name.size()));
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) + std::size_t(name.size()) + (abstract ? 0 : 1));
        if (::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), length) != 0 || ::listen(m_fd, 4) != 0)
            return false;
        if (stale) {
            ::close(m_fd);
            m_fd = -1;
        }
        return true;
    }
    ~FakeServer()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

private:
    int m_fd = -1;
};

// Sockets of a row: "x:N", "x-abstract:N", "x-stale:N" in the X folder,
// "wayland:NAME" in the runtime folder.
bool startServers(const QStringList &servers, const QString &xFolder, const QString &runtime, std::vector<std::unique_ptr<FakeServer>> &out)
{
    for (const QString &server : servers) {
        const QString kind = server.section(QLatin1Char(':'), 0, 0);
        const QString name = server.section(QLatin1Char(':'), 1);
        auto fake = std::make_unique<FakeServer>();
        const bool listening = kind == QStringLiteral("wayland") ? fake->listen(runtime + QLatin1Char('/') + name)
                                                                  : fake->listen(xFolder + QStringLiteral("/X") + name,
                                                                                 kind == QStringLiteral("x-abstract"),
                                                                                 kind == QStringLiteral("x-stale"));
        if (!listening)
            return false;
        out.push_back(std::move(fake));
    }
    return true;
}

QString expand(QString text, const QString &xFolder, const QString &runtime)
{
    return text.replace(QStringLiteral("%X"), xFolder).replace(QStringLiteral("%R"), runtime);
}

void setOrUnset(const char *name, const QString &value)
{
    if (value.isEmpty())
        qunsetenv(name);
    else
        qputenv(name, QFile::encodeName(value));
}
} // namespace

class TestGraphicalSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char *name : sessionVariables) {
            m_saved.append(qgetenv(name));
            m_wasSet.append(qEnvironmentVariableIsSet(name));
        }
    }

    void cleanup()
    {
        for (std::size_t i = 0; i < std::size(sessionVariables); ++i) {
            if (m_wasSet[qsizetype(i)])
                qputenv(sessionVariables[i], m_saved[qsizetype(i)]);
            else
                qunsetenv(sessionVariables[i]);
        }
    }

    // %X stands for the X socket folder, %R for the runtime folder.
    void reachability_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<bool>("runtimeSet");
        QTest::addColumn<QStringList>("servers");
        QTest::addColumn<QString>("reason"); // empty: reachable
        const QStringList x7{QStringLiteral("x:7")};
        QTest::newRow("X socket file") << QString() << QStringLiteral(":7") << QString() << false << x7 << QString();
        QTest::newRow("X display with a screen") << QString() << QStringLiteral(":7.0") << QString() << false << x7 << QString();
        QTest::newRow("X display unix:N") << QString() << QStringLiteral("unix:7") << QString() << false << x7 << QString();
        QTest::newRow("abstract X socket only") << QString() << QStringLiteral(":7") << QString() << false
                                                << QStringList{QStringLiteral("x-abstract:7")} << QString();
        QTest::newRow("nothing at the X socket") << QString() << QStringLiteral(":8") << QString() << false << x7
                                                 << QStringLiteral("WAYLAND_DISPLAY is not set; DISPLAY \":8\" does not answer at "
                                                                   "%X/X8: No such file or directory");
        QTest::newRow("socket of an ended X server") << QString() << QStringLiteral(":7") << QString() << false
                                                     << QStringList{QStringLiteral("x-stale:7")}
                                                     << QStringLiteral("WAYLAND_DISPLAY is not set; DISPLAY \":7\" does not answer at "
                                                                       "%X/X7: Connection refused");
        QTest::newRow("display over the network, unchecked")
            << QString() << QStringLiteral("printhost.invalid:0") << QString() << false << QStringList{} << QString();
        QTest::newRow("DISPLAY that names no display") << QString() << QStringLiteral("nonsense") << QString() << false << x7
                                                        << QStringLiteral("WAYLAND_DISPLAY is not set; DISPLAY \"nonsense\" names no display");
        QTest::newRow("no variables") << QString() << QString() << QString() << false << x7
                                      << QStringLiteral("WAYLAND_DISPLAY is not set; DISPLAY is not set");
        QTest::newRow("Wayland in the runtime folder") << QString() << QString() << QStringLiteral("wayland-7") << true
                                                       << QStringList{QStringLiteral("wayland:wayland-7")} << QString();
        QTest::newRow("Wayland by absolute path") << QString() << QString() << QStringLiteral("%R/wayland-7") << false
                                                  << QStringList{QStringLiteral("wayland:wayland-7")} << QString();
        QTest::newRow("Wayland socket missing") << QString() << QString() << QStringLiteral("wayland-9") << true
                                                << QStringList{QStringLiteral("wayland:wayland-7")}
                                                << QStringLiteral("WAYLAND_DISPLAY \"wayland-9\" does not answer at %R/wayland-9: "
                                                                  "No such file or directory; DISPLAY is not set");
        QTest::newRow("Wayland relative, no runtime folder")
            << QString() << QString() << QStringLiteral("wayland-7") << false << QStringList{QStringLiteral("wayland:wayland-7")}
            << QStringLiteral("WAYLAND_DISPLAY \"wayland-7\" is relative and XDG_RUNTIME_DIR is not set; DISPLAY is not set");
        QTest::newRow("offscreen, no display") << QStringLiteral("offscreen") << QString() << QString() << false << QStringList{}
                                               << QString();
        QTest::newRow("offscreen with options") << QStringLiteral("offscreen:fontengine=freetype") << QString() << QString() << false
                                                << QStringList{} << QString();
        QTest::newRow("xcb does not use Wayland")
            << QStringLiteral("xcb") << QString() << QStringLiteral("wayland-7") << true << QStringList{QStringLiteral("wayland:wayland-7")}
            << QStringLiteral("QT_QPA_PLATFORM \"xcb\"; DISPLAY is not set");
        QTest::newRow("Wayland does not use X") << QStringLiteral("wayland") << QStringLiteral(":7") << QString() << false << x7
                                                << QStringLiteral("QT_QPA_PLATFORM \"wayland\"; WAYLAND_DISPLAY is not set");
        QTest::newRow("X after Wayland") << QStringLiteral("wayland;xcb") << QStringLiteral(":7") << QString() << false << x7
                                         << QString();
    }

    void reachability()
    {
        QFETCH(QString, platform);
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(bool, runtimeSet);
        QFETCH(QStringList, servers);
        QFETCH(QString, reason);
        TestRoot root;
        const QString xFolder = root.makeDir(QStringLiteral("/x11"));
        const QString runtime = root.makeDir(QStringLiteral("/run/user/test"));
        std::vector<std::unique_ptr<FakeServer>> running;
        QVERIFY(startServers(servers, xFolder, runtime, running));
        setOrUnset("QT_QPA_PLATFORM", platform);
        setOrUnset("DISPLAY", display);
        setOrUnset("WAYLAND_DISPLAY", expand(wayland, xFolder, runtime));
        setOrUnset("XDG_RUNTIME_DIR", runtimeSet ? runtime : QString());
        qputenv(tavoren::agent::X11_SOCKET_FOLDER_VARIABLE, QFile::encodeName(xFolder));

        const auto reached = LinuxGraphicalSession().reachable();
        QCOMPARE(reached ? QString() : QString::fromStdString(reached.error().text), expand(reason, xFolder, runtime));
    }

    // The agent program in sessions it can and cannot show a window in.
    void agentAnswers_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<bool>("started");
        QTest::newRow("no display variables") << QString() << QString() << QString() << false;
        QTest::newRow("DISPLAY with nothing listening") << QString() << QStringLiteral(":8") << QString() << false;
        QTest::newRow("WAYLAND_DISPLAY naming a missing socket") << QString() << QString() << QStringLiteral("wayland-9") << false;
        QTest::newRow("listening X socket") << QString() << QStringLiteral(":7") << QString() << true;
        QTest::newRow("offscreen") << QStringLiteral("offscreen") << QString() << QString() << true;
    }

    void agentAnswers()
    {
        QFETCH(QString, platform);
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(bool, started);
        TestRoot root;
        if (!AgentProcess::socketPathFits())
            QSKIP("the socket path below this temporary folder is longer than a socket address holds");
        if (::geteuid() != 0)
            QSKIP("the agent needs a socket root owned by root, which only root can make");
        QVERIFY(root.makeSocketRoot());
        QVERIFY(StandInClient::install(root));
        const QString xFolder = root.makeDir(QStringLiteral("/x11"));
        const QString runtime = root.makeDir(QStringLiteral("/run/user/test"));
        std::vector<std::unique_ptr<FakeServer>> running;
        QVERIFY(startServers({QStringLiteral("x:7")}, xFolder, runtime, running));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : sessionVariables)
            environment.remove(QString::fromLatin1(name));
        const auto insert = [&](const char *name, const QString &value) {
            if (!value.isEmpty())
                environment.insert(QString::fromLatin1(name), value);
        };
        insert("QT_QPA_PLATFORM", platform);
        insert("DISPLAY", display);
        insert("WAYLAND_DISPLAY", wayland);
        insert("XDG_RUNTIME_DIR", runtime);
        insert(tavoren::agent::X11_SOCKET_FOLDER_VARIABLE, xFolder);
        AgentProcess agent;
        agent.process().setProcessEnvironment(environment);
        QVERIFY(agent.start());

        const char expected = started ? tavoren::shared::HandOff::clientStarted : tavoren::shared::HandOff::clientNotStarted;
        QCOMPARE(AgentProcess::answerTo("A:: ::/spool/j/a.pdf"), QByteArray(1, expected));
        const auto appears = [&](const QByteArray &text) {
            return QTest::qWaitFor([&] { return agent.standardError().contains(text); }, 20000);
        };
        const QByteArray refused = "log: No graphical session for the print release client (";
        const QByteArray keptHeld = "): held print jobs stay held until the next login\n";
        if (started) {
            QTRY_COMPARE_WITH_TIMEOUT(StandInClient::count(root), 1, 20000);
            // Held jobs are asked for; the root has no scheduler to answer.
            QVERIFY(appears("log: Could not ask the print scheduler at"));
        } else {
            QVERIFY(appears(refused));
            QVERIFY(appears(keptHeld));
            // Answered after the attempt: no client can still come.
            QCOMPARE(StandInClient::count(root), 0);
        }
        ::kill(pid_t(agent.pid()), SIGTERM);
        QVERIFY(agent.process().waitForFinished(20000));
        const QByteArray log = agent.standardError();
        QCOMPARE(log.count(refused), started ? 0 : 1);
        QCOMPARE(log.count(keptHeld), started ? 0 : 1);
        if (!started)
            QVERIFY2(!log.contains("held print jobs:"), log.constData());
    }

private:
    QByteArrayList m_saved;
    QList<bool> m_wasSet;
};

QTEST_GUILESS_MAIN(TestGraphicalSession)
#include "tst_graphicalsession.moc"
