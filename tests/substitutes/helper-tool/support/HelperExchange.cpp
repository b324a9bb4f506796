#include "support/HelperExchange.h"

#include "shared/Descriptor.h"
#include "shared/SocketAddress.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>

namespace tavoren::testsupport {

HelperExchange HelperExchange::run(const std::string &socketPath, const std::string &request, int timeoutMs)
{
    HelperExchange result;
    const auto address = shared::SocketAddress::forPath(socketPath);
    const shared::Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!address || !socket || ::connect(socket.get(), address->address(), address->length()) != 0)
        return result;
    result.connected = true;
    // The helper may refuse before it has read everything: what it answered
    // is read all the same.
    std::string_view rest = request;
    while (!rest.empty()) {
        const ssize_t sent = ::send(socket.get(), rest.data(), rest.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            break;
        rest.remove_prefix(std::size_t(sent));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd watched{socket.get(), POLLIN, 0};
        if (left <= 0 || ::poll(&watched, 1, int(left)) == 0)
            return result;
        char buffer[4096];
        const ssize_t got = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            result.ended = true;
            return result;
        }
        result.reply.append(buffer, std::size_t(got));
    }
}

} // namespace tavoren::testsupport
