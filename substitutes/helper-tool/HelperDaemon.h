#pragma once

#include "helper-tool/BuiltArtefacts.h"
#include "helper-tool/CommandExecutor.h"
#include "helper-tool/RequestQueue.h"
#include "shared/Descriptor.h"
#include "shared/Expected.h"
#include "shared/PeerCredentials.h"
#include "shared/SystemLog.h"

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>

namespace tavoren::helpertool {

struct DaemonSettings
{
    uid_t authorisedUid = 0;
    BuiltArtefacts built;
    int readyFd = -1; // told "ready" once serving, or "error: ..." instead
    std::chrono::seconds idleTime{600};
    std::chrono::milliseconds readTimeout{5000};
    std::chrono::milliseconds idleCheck{250};
    int maximumConnections = 16;

    static constexpr const char *idleVariable = "TAVOREN_HELPER_IDLE_SECONDS";
    // The idle time the environment asks for, else the default.
    static std::chrono::seconds idleTimeFromEnvironment();
};

// The helper daemon: takes over the socket, serves one request per
// connection to root and the authorised user, runs accepted requests one at
// a time, and ends when idle or on SIGTERM, removing the socket and the pid
// file if they are still its own.
class HelperDaemon
{
public:
    // Takes over `settings.readyFd`; what it does goes to `log`.
    HelperDaemon(DaemonSettings settings, shared::SystemLog &log);
    ~HelperDaemon();
    HelperDaemon(const HelperDaemon &) = delete;
    HelperDaemon &operator=(const HelperDaemon &) = delete;

    // The exit status: 0 after serving, 1 when it could not start.
    int run();

    // Closes every descriptor above the standard ones but `keep`, so that
    // nothing its starter left open lives on in the daemon.
    static void closeInheritedDescriptors(int keep);

private:
    struct Connection
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    // What became of one connection's request.
    struct Answer
    {
        std::string command;        // as the log shows what was asked
        std::optional<Reply> reply; // none: close without a reply
    };

    shared::Expected<void> listen();
    shared::Expected<void> writePidFile();
    void report(const std::string &line);
    void serve();
    void accept();
    // Tells a peer it is not served, without waiting for it, and logs it
    // (a few lines a minute at most, however many come).
    void turnAway(int connection, const shared::PeerCredentials &peer);
    void handle(shared::Descriptor connection, shared::PeerCredentials peer);
    Answer answer(int connection, const shared::PeerCredentials &peer);
    bool isIdle();
    void joinConnections(bool all);
    void cleanUp();

    DaemonSettings m_settings;
    shared::SystemLog &m_log;
    shared::Descriptor m_ready;
    CommandExecutor m_executor;
    std::string m_socketPath;
    std::string m_pidPath;
    shared::Descriptor m_listener;
    shared::Descriptor m_signals;
    shared::Descriptor m_wake; // readable once the daemon is ending
    dev_t m_socketDevice = 0;
    ino_t m_socketInode = 0;
    bool m_ownsSocket = false;
    std::unique_ptr<RequestQueue> m_queue;

    std::mutex m_mutex;
    std::list<Connection> m_connections;
    int m_open = 0;
    std::chrono::steady_clock::time_point m_lastActivity = std::chrono::steady_clock::now();
    // Peers turned away since the last line about them.
    std::chrono::steady_clock::time_point m_turnedAwayLogged{};
    int m_turnedAwayQuietly = 0;
};

} // namespace tavoren::helpertool
