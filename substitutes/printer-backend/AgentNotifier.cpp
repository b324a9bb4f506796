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
AgentNotifier::Outcome notDelivered(std::string reason)
{
    return {false, std::move(reason)};
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

AgentNotifier::Outcome AgentNotifier::send(const UserAccount &user, const std::string &message) const
{
    const std::string path = socketPath(user.name);
    const auto address = shared::SocketAddress::forPath(path);
    if (!address)
        return notDelivered("socket path too long: " + path);

    // The socket folders are open to everybody: only a socket of the user's
    // own is that user's agent.
    struct stat status{};
    if (::lstat(path.c_str(), &status) != 0)
        return notDelivered(path + ": " + std::strerror(errno));
    if (!S_ISSOCK(status.st_mode) || status.st_uid != user.uid)
        return notDelivered(path + " is not a socket of " + user.name);

    const shared::Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0)
        return notDelivered(std::string("socket: ") + std::strerror(errno));
    // Bounds the wait in connect when the agent's listen queue is full.
    const auto ms = m_timeout.count();
    const timeval timeout{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::connect(socket.get(), address->address(), address->length()) != 0)
        return notDelivered(path + ": " + std::strerror(errno));
    // The socket may have been swapped since the check above: the listener
    // itself must run as the user.
    const auto peer = shared::PeerCredentials::of(socket.get());
    if (!peer)
        return notDelivered(path + ": " + std::strerror(errno));
    if (peer->uid != user.uid)
        return notDelivered(path + " is not served by an agent of " + user.name);

    // The agent reads up to the NUL, however the bytes arrive; one write
    // keeps the message whole in the usual case all the same.
    const ssize_t sent = ::send(socket.get(), message.data(), message.size(), MSG_NOSIGNAL);
    if (sent < 0)
        return notDelivered(path + ": " + std::strerror(errno));
    if (std::size_t(sent) != message.size())
        return notDelivered(path + ": message sent in part");
    ::shutdown(socket.get(), SHUT_WR);

    // The agent closes once it has started the client.
    pollfd wait{socket.get(), POLLIN, 0};
    char sink[64];
    while (::poll(&wait, 1, int(ms)) > 0) {
        const ssize_t count = ::read(socket.get(), sink, sizeof sink);
        if (count <= 0)
            break;
    }
    return {true, {}};
}

} // namespace tavoren::printerbackend
