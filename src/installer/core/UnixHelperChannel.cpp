#include "installer/core/UnixHelperChannel.h"

#include "shared/Descriptor.h"
#include "shared/HelperProtocol.h"
#include "shared/PeerCredentials.h"
#include "shared/SocketAddress.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavoren::installer {

namespace {
// A reply is one short line; the helper's own limit for requests bounds it too.
constexpr qsizetype maxReplyBytes = qsizetype(shared::HelperProtocol::maximumRequest);
constexpr int cancelCheckMilliseconds = 100;

class SocketConnection final : public HelperChannel::Connection
{
public:
    SocketConnection(shared::Descriptor socket, std::string path)
        : m_socket(std::move(socket))
        , m_path(std::move(path))
    {
    }

    shared::Expected<void> send(const QByteArray &line) override
    {
        qsizetype done = 0;
        while (done < line.size()) {
            const ssize_t sent = ::send(m_socket.get(), line.constData() + done, std::size_t(line.size() - done), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return shared::Error::system(HelperChannel::sendAction, m_path, sent < 0 ? errno : EPIPE);
            done += sent;
        }
        return {};
    }

    shared::Expected<QByteArray> receive(const std::function<bool()> &cancelled) override
    {
        QByteArray buffer;
        char chunk[4096];
        for (;;) {
            const qsizetype end = buffer.indexOf('\n');
            if (end >= 0)
                return buffer.left(end);
            if (buffer.size() > maxReplyBytes)
                return shared::Error::because(HelperChannel::receiveAction, m_path, "the reply exceeds the limit");
            if (cancelled())
                return shared::Error::system(HelperChannel::receiveAction, m_path, ECANCELED);
            pollfd wait{m_socket.get(), POLLIN, 0};
            const int ready = ::poll(&wait, 1, cancelCheckMilliseconds);
            if (ready < 0 && errno != EINTR)
                return shared::Error::system(HelperChannel::receiveAction, m_path);
            if (ready <= 0)
                continue;
            const ssize_t count = ::recv(m_socket.get(), chunk, sizeof chunk, 0);
            if (count < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (count <= 0)
                return shared::Error::system(HelperChannel::receiveAction, m_path, count < 0 ? errno : ECONNRESET);
            buffer.append(chunk, count);
        }
    }

private:
    shared::Descriptor m_socket;
    std::string m_path;
};
} // namespace

UnixHelperChannel::UnixHelperChannel(std::string socketPath)
    : m_socketPath(std::move(socketPath))
{
}

shared::Expected<std::unique_ptr<HelperChannel::Connection>> UnixHelperChannel::connect()
{
    shared::Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket)
        return shared::Error::system(createAction, m_socketPath);
    const auto address = shared::SocketAddress::forPath(m_socketPath);
    if (!address)
        return shared::Error::system(connectAction, m_socketPath, ENAMETOOLONG);
    int result = 0;
    do {
        result = ::connect(socket.get(), address->address(), address->length());
    } while (result != 0 && errno == EINTR);
    if (result != 0)
        return shared::Error::system(connectAction, m_socketPath);
    const auto peer = shared::PeerCredentials::of(socket.get());
    if (!peer || peer->uid != 0)
        return shared::Error::because(connectAction, m_socketPath, "it is not served by root");
    return std::unique_ptr<Connection>(std::make_unique<SocketConnection>(std::move(socket), m_socketPath));
}

} // namespace tavoren::installer
