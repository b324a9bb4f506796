#include "printer-backend/AgentNotifier.h"

#include "shared/Descriptor.h"
#include "shared/HandOff.h"
#include "shared/PeerCredentials.h"
#include "shared/SocketAddress.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::printerbackend {

namespace {
AgentNotifier::Outcome unreachable(std::string reason)
{
    return {AgentNotifier::Answer::Unreachable, std::move(reason)};
}

AgentNotifier::Outcome cancelled()
{
    return {AgentNotifier::Answer::Cancelled, "Cancelled while handing the job to the agent"};
}
} // namespace

AgentNotifier::AgentNotifier(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
{
}

std::string AgentNotifier::socketPath(const std::string &userName)
{
    return shared::SystemPath::resolve(shared::HandOff::socketRoot) + "/" + userName + "/" + shared::HandOff::socketFile;
}

AgentNotifier::Outcome AgentNotifier::send(const UserAccount &user, const std::string &message, const Cancellation &cancel) const
{
    if (cancel.requested())
        return cancelled();
    const std::string path = socketPath(user.name);
    const auto address = shared::SocketAddress::forPath(path);
    if (!address)
        return unreachable("socket path too long: " + path);

    // The socket folders are open to everybody: only a socket of the user's
    // own is that user's agent.
    struct stat status{};
    if (::lstat(path.c_str(), &status) != 0)
        return unreachable(path + ": " + std::strerror(errno));
    if (!S_ISSOCK(status.st_mode) || status.st_uid != user.uid)
        return unreachable(path + " is not a socket of " + user.name);

    const shared::Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0)
        return unreachable(std::string("socket: ") + std::strerror(errno));
    // Bounds the wait in connect when the agent's listen queue is full; the
    // cancellation's signal interrupts it.
    const auto ms = m_timeout.count();
    const timeval timeout{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::connect(socket.get(), address->address(), address->length()) != 0)
        return cancel.requested() ? cancelled() : unreachable(path + ": " + std::strerror(errno));
    // The socket may have been swapped since the check above: the listener
    // itself must run as the user.
    const auto peer = shared::PeerCredentials::of(socket.get());
    if (!peer)
        return unreachable(path + ": " + std::strerror(errno));
    if (peer->uid != user.uid)
        return unreachable(path + " is not served by an agent of " + user.name);

    // The agent reads up to the NUL, however the bytes arrive; one write
    // keeps the message whole in the usual case all the same.
    const ssize_t sent = ::send(socket.get(), message.data(), message.size(), MSG_NOSIGNAL);
    if (sent < 0)
        return cancel.requested() ? cancelled() : unreachable(path + ": " + std::strerror(errno));
    if (std::size_t(sent) != message.size())
        return unreachable(path + ": message sent in part");
    ::shutdown(socket.get(), SHUT_WR);
    return awaitAnswer(socket.get(), path, cancel);
}

AgentNotifier::Outcome AgentNotifier::awaitAnswer(int socket, const std::string &path, const Cancellation &cancel) const
{
    const auto deadline = std::chrono::steady_clock::now() + m_timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {Answer::NoAnswer, path + ": no answer within " + std::to_string(m_timeout.count()) + " ms"};
        pollfd waits[2] = {{socket, POLLIN, 0}, {cancel.fd(), POLLIN, 0}};
        const int ready = ::poll(waits, cancel.fd() >= 0 ? 2 : 1, int(left.count()));
        if (ready > 0 && waits[1].revents != 0)
            return cancelled();
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return {Answer::NoAnswer, path + ": " + std::strerror(errno)};
        if (ready == 0)
            continue;
        char answer = 0;
        const ssize_t count = ::read(socket, &answer, 1);
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        // A broken connection confirms nothing.
        if (count < 0)
            return {Answer::NoAnswer, path + ": " + std::strerror(errno)};
        // The agent went (ended, killed) between the message and its
        // answer: nothing says a client runs.
        if (count == 0)
            return {Answer::ClosedWithoutAnswer, path + ": closed without an answer"};
        if (answer == shared::HandOff::clientStarted)
            return {Answer::Started, {}};
        if (answer == shared::HandOff::clientNotStarted)
            return {Answer::NotStarted, path + ": the agent could not start the client"};
        return {Answer::NotStarted, path + ": an answer not understood (byte " + std::to_string(int(static_cast<unsigned char>(answer))) + ")"};
    }
}

} // namespace tavoren::printerbackend
