#include "helper-tool/HelperDaemon.h"

#include "helper-tool/HelperCommand.h"
#include "helper-tool/HelperRequest.h"
#include "helper-tool/RequestReader.h"
#include "shared/AtomicFile.h"
#include "shared/EnvironmentSetting.h"
#include "shared/FileTree.h"
#include "shared/HelperProtocol.h"
#include "shared/PathName.h"
#include "shared/SocketAddress.h"
#include "shared/SystemLog.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tavoren::helpertool {

namespace {
std::string errorText(int error)
{
    return std::system_category().message(error);
}

// A command line as the log shows it: one line, bounded.
std::string printable(std::string_view text)
{
    constexpr std::size_t limit = 300;
    std::string result;
    for (const char c : text.substr(0, limit)) {
        const auto byte = static_cast<unsigned char>(c);
        result.push_back(byte < 0x20 || byte == 0x7F ? '?' : c);
    }
    if (text.size() > limit)
        result += "...";
    return result;
}

// Why the daemon did not start, as the log and the ready line show it.
std::string reason(const shared::Error &error)
{
    if (!error.text.empty())
        return error.text;
    return "cannot " + error.action + " " + error.subject + ": " + errorText(error.code);
}

// Sends the whole reply, then lets the peer read it to the end: input left
// unread at close would turn the peer's end of file into a reset.
void sendReply(int connection, const Reply &reply)
{
    const std::string line = reply.toLine();
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t sent = ::send(connection, rest.data(), rest.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return;
        rest.remove_prefix(std::size_t(sent));
    }
    ::shutdown(connection, SHUT_WR);
    char buffer[16384];
    for (int reads = 0; reads < 64 && ::recv(connection, buffer, sizeof buffer, MSG_DONTWAIT) > 0; ++reads) {
    }
}
} // namespace

std::chrono::seconds DaemonSettings::idleTimeFromEnvironment()
{
    const auto seconds = shared::EnvironmentSetting::wholeNumber(idleVariable, 0, 365LL * 24 * 3600);
    return seconds ? std::chrono::seconds(*seconds) : DaemonSettings().idleTime;
}

HelperDaemon::HelperDaemon(DaemonSettings settings, shared::SystemLog &log)
    : m_settings(settings)
    , m_log(log)
    , m_ready(settings.readyFd)
    , m_executor(settings.built, log)
    , m_socketPath(shared::SystemPath::resolve(shared::HelperProtocol::socket))
    , m_pidPath(shared::SystemPath::resolve(shared::HelperProtocol::pidFile))
{
}

HelperDaemon::~HelperDaemon()
{
    if (m_queue)
        m_queue->stop();
    joinConnections(true);
}

void HelperDaemon::closeInheritedDescriptors(int keep)
{
    const unsigned first = STDERR_FILENO + 1;
    if (keep < int(first)) {
        ::close_range(first, ~0U, 0);
        return;
    }
    if (unsigned(keep) > first)
        ::close_range(first, unsigned(keep) - 1, 0);
    ::close_range(unsigned(keep) + 1, ~0U, 0);
}

int HelperDaemon::run()
{
    // Only the signal descriptor takes these, whichever thread is running.
    sigset_t endings;
    sigemptyset(&endings);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&endings, signal);
    ::pthread_sigmask(SIG_BLOCK, &endings, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    m_signals.reset(::signalfd(-1, &endings, SFD_CLOEXEC | SFD_NONBLOCK));
    m_wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!m_signals || !m_wake) {
        report("error: " + errorText(errno));
        return 1;
    }
    [[maybe_unused]] const int atRoot = ::chdir("/");

    if (const auto listening = listen(); !listening) {
        const std::string failure = reason(listening.error());
        m_log.write("Helper tool could not start: " + failure);
        report("error: " + failure);
        cleanUp();
        return 1;
    }
    m_queue = std::make_unique<RequestQueue>();
    m_log.write("Helper tool serving uid " + std::to_string(m_settings.authorisedUid) + " and root");
    report("ready");
    serve();
    cleanUp();
    m_listener.reset();
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto woken = ::write(m_wake.get(), &one, sizeof one);
    m_queue->stop();
    joinConnections(true);
    m_log.write("Helper tool ended");
    return 0;
}

shared::Expected<void> HelperDaemon::listen()
{
    const std::string folder = shared::PathName::parent(m_socketPath);
    if (auto made = shared::FileTree::makeFolders(folder, 0755, 0755); !made)
        return shared::Error::because("create", folder, made.error().description());
    // Bound under another name and renamed into place: the socket path never
    // goes missing while a newer helper takes over.
    const std::string fresh = m_socketPath + "." + std::to_string(::getpid()) + ".new";
    const auto address = shared::SocketAddress::forPath(fresh);
    if (!address || !shared::SocketAddress::forPath(m_socketPath))
        return shared::Error::because("bind", m_socketPath, "the socket path is too long: " + m_socketPath);
    ::unlink(fresh.c_str());
    m_listener.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!m_listener)
        return shared::Error::because("create", "a socket", "socket: " + errorText(errno));
    if (::bind(m_listener.get(), address->address(), address->length()) != 0)
        return shared::Error::system("bind", fresh);
    struct stat status{};
    // Every user may connect; the peer's uid decides.
    if (::chmod(fresh.c_str(), 0666) != 0 || ::listen(m_listener.get(), 64) != 0 || ::lstat(fresh.c_str(), &status) != 0) {
        const int error = errno;
        ::unlink(fresh.c_str());
        return shared::Error::system("listen on", fresh, error);
    }
    if (::rename(fresh.c_str(), m_socketPath.c_str()) != 0) {
        const int error = errno;
        ::unlink(fresh.c_str());
        return shared::Error::system("put the socket in place at", m_socketPath, error);
    }
    m_socketDevice = status.st_dev;
    m_socketInode = status.st_ino;
    m_ownsSocket = true;
    return writePidFile();
}

shared::Expected<void> HelperDaemon::writePidFile()
{
    const shared::Descriptor folder(::open(shared::PathName::parent(m_pidPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const auto cannot = [this](int error) { return shared::Error::system("write the pid file", m_pidPath, error); };
    if (!folder)
        return cannot(errno);
    auto file = shared::AtomicFile::create(folder.get(), shared::PathName::lastComponent(m_pidPath));
    if (!file)
        return cannot(file.error().code);
    if (!file->write(std::to_string(::getpid()) + "\n"))
        return cannot(errno);
    if (const auto committed = file->commit(0644, ::geteuid(), ::getegid()); !committed)
        return cannot(committed.error().code);
    return {};
}

void HelperDaemon::report(const std::string &line)
{
    if (!m_ready)
        return;
    [[maybe_unused]] const bool written = m_ready.writeAll(line + "\n");
    m_ready.reset();
}

void HelperDaemon::serve()
{
    for (;;) {
        pollfd watched[2] = {{m_listener.get(), POLLIN, 0}, {m_signals.get(), POLLIN, 0}};
        const int ready = ::poll(watched, 2, int(m_settings.idleCheck.count()));
        if (ready < 0 && errno != EINTR) {
            m_log.write("Helper tool: poll: " + errorText(errno));
            return;
        }
        if (ready > 0 && (watched[1].revents & POLLIN)) {
            signalfd_siginfo signal{};
            if (::read(m_signals.get(), &signal, sizeof signal) == ssize_t(sizeof signal))
                m_log.write("Helper tool ending on signal " + std::to_string(signal.ssi_signo));
            return;
        }
        if (ready > 0 && (watched[0].revents & POLLIN))
            accept();
        joinConnections(false);
        if (isIdle()) {
            m_log.write("Helper tool ending after " + std::to_string(m_settings.idleTime.count()) + " idle seconds");
            return;
        }
    }
}

void HelperDaemon::accept()
{
    shared::Descriptor connection(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!connection)
        return;
    // Who it is decides before the peer gets a thread, a slot or a say in
    // how long the helper lives.
    const auto peer = shared::PeerCredentials::of(connection.get());
    if (!peer) {
        m_log.write("Helper tool: no credentials for a connection: " + errorText(errno));
        return;
    }
    if (peer->uid != 0 && peer->uid != m_settings.authorisedUid) {
        turnAway(connection.get(), *peer);
        return;
    }
    std::lock_guard lock(m_mutex);
    m_lastActivity = std::chrono::steady_clock::now();
    if (m_open >= m_settings.maximumConnections) {
        const std::string line = Reply::refused("too many connections at once").toLine();
        ::send(connection.get(), line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        return;
    }
    ++m_open;
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, done, fd = connection.release(), who = *peer] {
        handle(shared::Descriptor(fd), who);
        std::lock_guard threadLock(m_mutex);
        --m_open;
        m_lastActivity = std::chrono::steady_clock::now();
        *done = true;
    });
    m_connections.push_back({std::move(thread), std::move(done)});
}

void HelperDaemon::turnAway(int connection, const shared::PeerCredentials &peer)
{
    const std::string line = Reply::refused("uid " + std::to_string(peer.uid) + " may not use the helper").toLine();
    // Whatever does not fit the socket's buffer at once is not sent.
    ::send(connection, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    const auto now = std::chrono::steady_clock::now();
    if (now - m_turnedAwayLogged < std::chrono::seconds(10)) {
        ++m_turnedAwayQuietly;
        return;
    }
    std::string message = "Request from uid " + std::to_string(peer.uid) + " (pid " + std::to_string(peer.pid)
                          + ") refused: this uid may not use the helper";
    if (m_turnedAwayQuietly > 0)
        message += " (and " + std::to_string(m_turnedAwayQuietly) + " more refused since the last such line)";
    m_log.write(message);
    m_turnedAwayLogged = now;
    m_turnedAwayQuietly = 0;
}

void HelperDaemon::handle(shared::Descriptor connection, shared::PeerCredentials peer)
{
    // A peer that stops reading cannot hold the reply forever.
    const timeval bound{10, 0};
    ::setsockopt(connection.get(), SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    const std::string who = "uid " + std::to_string(peer.uid) + " (pid " + std::to_string(peer.pid) + ")";
    const Answer answered = answer(connection.get(), peer);
    const std::optional<Reply> &reply = answered.reply;
    if (!reply) {
        m_log.write("Request from " + who + " dropped without a reply: " + printable(answered.command));
        return;
    }
    sendReply(connection.get(), *reply);
    m_log.write("Request from " + who + ": " + printable(answered.command) + ": " + Reply::outcomeName(reply->outcome) + " (" + reply->text
                + ")");
}

HelperDaemon::Answer HelperDaemon::answer(int connection, const shared::PeerCredentials &peer)
{
    const auto read = RequestReader::read(connection, m_wake.get(), m_settings.readTimeout);
    if (!read)
        return {"(not read)", Reply::refused(read.error().text)};
    if (!*read)
        return {"(no complete request)", std::nullopt};
    const auto parsed = HelperRequest::parse(**read);
    if (!parsed)
        return {"(not read)", Reply::refused(parsed.error().text)};
    const HelperRequest &request = *parsed;
    const auto classified = HelperCommand::classify(request);
    if (!classified)
        return {request.command, Reply::refused(classified.error().text)};
    const HelperCommand accepted = *classified;
    // None when the helper ended before the request's turn came.
    const uid_t requester = peer.uid;
    return {request.command, m_queue->submit([this, accepted, requester] { return m_executor.execute(accepted, requester); }).get()};
}

bool HelperDaemon::isIdle()
{
    const auto lastJob = m_queue->idleSince();
    if (!lastJob)
        return false;
    std::lock_guard lock(m_mutex);
    if (m_open > 0)
        return false;
    const auto since = std::max(*lastJob, m_lastActivity);
    return std::chrono::steady_clock::now() - since >= m_settings.idleTime;
}

void HelperDaemon::joinConnections(bool all)
{
    std::list<Connection> finished;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            const auto next = std::next(it);
            if (all || *it->done)
                finished.splice(finished.end(), m_connections, it);
            it = next;
        }
    }
    for (Connection &connection : finished)
        connection.thread.join();
}

void HelperDaemon::cleanUp()
{
    // A newer helper's socket and pid file stay.
    struct stat status{};
    if (m_ownsSocket && ::lstat(m_socketPath.c_str(), &status) == 0 && status.st_dev == m_socketDevice && status.st_ino == m_socketInode)
        ::unlink(m_socketPath.c_str());
    m_ownsSocket = false;
    const shared::Descriptor pidFile(::open(m_pidPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    char content[32] = {};
    if (pidFile && ::read(pidFile.get(), content, sizeof content - 1) > 0 && std::string(content) == std::to_string(::getpid()) + "\n")
        ::unlink(m_pidPath.c_str());
}

} // namespace tavoren::helpertool
