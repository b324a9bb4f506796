#include "installer/core/UnixHelperChannel.h"

#include "installer/core/KYGlobalConstants.h"
#include "shared/Descriptor.h"
#include "shared/PeerCredentials.h"
#include "shared/SocketAddress.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavoren::installer {

namespace {
// A reply is one short line; the helper's own limit for requests bounds it too.
constexpr qsizetype maxReplyBytes = KYGlobalConstants::helperRequestLimit;
constexpr int cancelCheckMilliseconds = 100;

class SocketConnection final : public HelperChannel::Connection
{
public:
    explicit SocketConnection(shared::Descriptor socket) : m_socket(std::move(socket)) {}

    HelperChannel::Failure send(const QByteArray &line) override
    {
        qsizetype done = 0;
        while (done < line.size()) {
            const ssize_t sent = ::send(m_socket.get(), line.constData() + done, std::size_t(line.size() - done), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return HelperChannel::Failure::Interrupted;
            done += sent;
        }
        return HelperChannel::Failure::None;
    }

    HelperChannel::Failure receive(QByteArray *line, const std::function<bool()> &cancelled) override
    {
        QByteArray buffer;
        char chunk[4096];
        for (;;) {
            const qsizetype end = buffer.indexOf('\n');
            if (end >= 0) {
                *line = buffer.left(end);
                return HelperChannel::Failure::None;
            }
            if (buffer.size() > maxReplyBytes)
                return HelperChannel::Failure::Interrupted;
            if (cancelled())
                return HelperChannel::Failure::Cancelled;
            pollfd wait{m_socket.get(), POLLIN, 0};
            const int ready = ::poll(&wait, 1, cancelCheckMilliseconds);
            if (ready < 0 && errno != EINTR)
                return HelperChannel::Failure::Interrupted;
            if (ready <= 0)
                continue;
            const ssize_t count = ::recv(m_socket.get(), chunk, sizeof chunk, 0);
            if (count < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (count <= 0)
                return HelperChannel::Failure::Interrupted;
            buffer.append(chunk, count);
        }
    }

private:
    shared::Descriptor m_socket;
};
} // namespace

std::shared_ptr<HelperChannel> HelperChannel::platform()
{
    return std::make_shared<UnixHelperChannel>(shared::SystemPath::resolve(KYGlobalConstants::helperSocket));
}

UnixHelperChannel::UnixHelperChannel(std::string socketPath)
    : m_socketPath(std::move(socketPath))
{
}

std::unique_ptr<HelperChannel::Connection> UnixHelperChannel::connect(Failure *failure)
{
    shared::Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        *failure = Failure::CouldNotCreate;
        return nullptr;
    }
    *failure = Failure::Invalid;
    const auto address = shared::SocketAddress::forPath(m_socketPath);
    if (!address)
        return nullptr;
    int result = 0;
    do {
        result = ::connect(socket.get(), address->address(), address->length());
    } while (result != 0 && errno == EINTR);
    if (result != 0)
        return nullptr;
    const auto peer = shared::PeerCredentials::of(socket.get());
    if (!peer || peer->uid != 0)
        return nullptr;
    *failure = Failure::None;
    return std::make_unique<SocketConnection>(std::move(socket));
}

} // namespace tavoren::installer
