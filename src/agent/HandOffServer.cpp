#include "agent/HandOffServer.h"

#include "shared/HandOff.h"
#include "shared/JobMessage.h"
#include "shared/PeerCredentials.h"
#include "shared/SystemLog.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace tavoren::agent {

namespace {
constexpr std::size_t bufferSize = std::size_t(shared::HandOff::messageBufferSize);
// How long accepting rests after running out of descriptors or memory.
constexpr std::chrono::milliseconds acceptPause{100};

// As perror, in one write; strerror is not thread-safe.
void printError(const char *what, int error)
{
    const std::string line = std::string(what) + ": " + std::system_category().message(error) + "\n";
    shared::Descriptor::writeAll(STDERR_FILENO, line);
}
} // namespace

struct HandOffServer::Connection
{
    shared::Descriptor socket;
    std::string bytes;
    Clock::time_point deadline;
};

HandOffServer::HandOffServer(int listener, Settings settings, Receiver &receiver, shared::SystemLog &log)
    : m_listener(listener)
    , m_settings(std::move(settings))
    , m_receiver(receiver)
    , m_log(log)
{
    // A connection can go between poll and accept: accept must not wait.
    const int flags = ::fcntl(m_listener, F_GETFL);
    if (flags >= 0)
        ::fcntl(m_listener, F_SETFL, flags | O_NONBLOCK);
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_stopRead.reset(ends[0]);
        m_stopWrite.reset(ends[1]);
    } else {
        m_stopError = errno;
    }
}

void HandOffServer::stop()
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stopWrite.get(), &byte, 1);
}

bool HandOffServer::isWhole(std::string_view bytes, std::size_t from)
{
    if (bytes.size() >= bufferSize)
        return true;
    const std::string_view separator = shared::HandOff::messageEndSeparator;
    // A separator may have begun in the bytes before.
    const std::size_t start = from > separator.size() - 1 ? from - (separator.size() - 1) : 0;
    return bytes.find('\0', from) != std::string_view::npos || bytes.find(separator, start) != std::string_view::npos;
}

bool HandOffServer::isAllowed(uid_t uid) const
{
    return std::find(m_settings.allowedPeers.begin(), m_settings.allowedPeers.end(), uid) != m_settings.allowedPeers.end();
}

void HandOffServer::finish(const Connection &connection)
{
    if (connection.bytes.empty()) {
        m_log.write("Ending connection");
        return;
    }
    const bool started = m_receiver.jobArrived(shared::JobMessage::jobArgument(connection.bytes));
    const char answer = started ? shared::HandOff::clientStarted : shared::HandOff::clientNotStarted;
    // A peer that has gone or does not read costs nothing: no signal, no
    // wait, and a failed write changes nothing.
    [[maybe_unused]] const ssize_t sent = ::send(connection.socket.get(), &answer, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
}

bool HandOffServer::readFrom(Connection &connection)
{
    char buffer[bufferSize];
    for (;;) {
        // Never past the buffer's size: what follows is not read at all.
        const ssize_t count = ::read(connection.socket.get(), buffer, bufferSize - connection.bytes.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return false;
        if (count < 0) {
            printError("reading stream message", errno);
            return true;
        }
        if (count == 0) {
            finish(connection);
            return true;
        }
        const std::size_t before = connection.bytes.size();
        connection.bytes.append(buffer, std::size_t(count));
        if (isWhole(connection.bytes, before)) {
            finish(connection);
            return true;
        }
    }
}

void HandOffServer::acceptConnections(std::vector<Connection> &connections)
{
    while (connections.size() < m_settings.maximumConnections) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                printError("accept", errno);
                // Out of descriptors would otherwise spin at full speed.
                m_listenerPausedUntil = Clock::now() + acceptPause;
            }
            return;
        }
        Connection connection{shared::Descriptor(fd), {}, Clock::now() + m_settings.readTimeout};
        const auto peer = shared::PeerCredentials::of(fd);
        if (!peer) {
            m_log.write("Dropping a connection whose peer is unknown");
            continue;
        }
        if (!isAllowed(peer->uid)) {
            m_log.write("Dropping a connection from user id " + std::to_string(peer->uid)
                + ": only root and the agent's own user hand off jobs");
            continue;
        }
        // The message is often there already.
        if (!readFrom(connection))
            connections.push_back(std::move(connection));
    }
}

bool HandOffServer::run()
{
    // A server that could not be stopped would keep a restart waiting forever.
    if (!m_stopRead) {
        errno = m_stopError;
        return false;
    }
    std::vector<Connection> connections;
    std::vector<pollfd> waits;
    for (;;) {
        Clock::time_point now = Clock::now();
        // A silent or trickling peer costs its time limit and no more.
        std::erase_if(connections, [&](const Connection &connection) {
            if (connection.deadline > now)
                return false;
            printError("reading stream message", EAGAIN);
            return true;
        });

        const bool roomForMore = connections.size() < m_settings.maximumConnections;
        const bool listening = roomForMore && now >= m_listenerPausedUntil;
        Clock::time_point wake = Clock::time_point::max();
        for (const Connection &connection : connections)
            wake = std::min(wake, connection.deadline);
        if (roomForMore && !listening)
            wake = std::min(wake, m_listenerPausedUntil);
        int timeout = -1;
        if (wake != Clock::time_point::max())
            timeout = int(std::chrono::ceil<std::chrono::milliseconds>(wake - now).count());

        waits.clear();
        waits.push_back({m_stopRead.get(), POLLIN, 0});
        waits.push_back({listening ? m_listener : -1, POLLIN, 0});
        for (const Connection &connection : connections)
            waits.push_back({connection.socket.get(), POLLIN, 0});
        if (::poll(waits.data(), nfds_t(waits.size()), timeout) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (waits[0].revents != 0)
            return true;

        // In the order of acceptance; each whole message is handed on at once.
        std::vector<Connection> open;
        open.reserve(connections.size());
        for (std::size_t i = 0; i < connections.size(); ++i) {
            if (waits[i + 2].revents == 0 || !readFrom(connections[i]))
                open.push_back(std::move(connections[i]));
        }
        connections = std::move(open);

        if (waits[1].revents != 0)
            acceptConnections(connections);
    }
}

} // namespace tavoren::agent
