#include "release-service/ConnectionSockets.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <functional>
#include <optional>

namespace tavoren::releaseservice {

namespace {

struct Endpoint
{
    std::string address;
    int port = 0;
};

std::optional<Endpoint> endpointOf(const sockaddr_storage &storage)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (storage.ss_family == AF_INET) {
        const auto &v4 = reinterpret_cast<const sockaddr_in &>(storage);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        return Endpoint{text, ntohs(v4.sin_port)};
    }
    if (storage.ss_family == AF_INET6) {
        const auto &v6 = reinterpret_cast<const sockaddr_in6 &>(storage);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        return Endpoint{text, ntohs(v6.sin6_port)};
    }
    return std::nullopt;
}

// Textual addresses normalised, so "::0001" and "::1" compare equal; empty
// for a host name or a wildcard, which then match any address.
std::string normalised(const std::string &address)
{
    unsigned char bytes[sizeof(in6_addr)];
    char text[INET6_ADDRSTRLEN] = {};
    std::string result;
    if (inet_pton(AF_INET, address.c_str(), bytes) == 1)
        result = inet_ntop(AF_INET, bytes, text, sizeof text);
    else if (inet_pton(AF_INET6, address.c_str(), bytes) == 1)
        result = inet_ntop(AF_INET6, bytes, text, sizeof text);
    return result == "0.0.0.0" || result == "::" ? std::string() : result;
}

// Calls `visit` with each connected TCP socket's fd and ends; stops early
// when it returns true.
void forEachConnection(const std::function<bool(int, const Endpoint &, const Endpoint &)> &visit)
{
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return;
    const int dirFd = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirFd)
            continue;
        sockaddr_storage local {};
        sockaddr_storage peer {};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        if (getsockname(int(fd), reinterpret_cast<sockaddr *>(&local), &localLength) != 0
            || getpeername(int(fd), reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0)
            continue;
        const auto localEnd = endpointOf(local);
        const auto peerEnd = endpointOf(peer);
        if (localEnd && peerEnd && visit(int(fd), *localEnd, *peerEnd))
            break;
    }
    closedir(dir);
}

} // namespace

bool ConnectionSockets::shutdownConnection(const std::string &localAddress, int localPort,
                                           const std::string &remoteAddress, int remotePort)
{
    const std::string local = normalised(localAddress);
    const std::string remote = normalised(remoteAddress);
    bool found = false;
    forEachConnection([&](int fd, const Endpoint &localEnd, const Endpoint &peerEnd) {
        if (localEnd.port != localPort || peerEnd.port != remotePort || (!local.empty() && localEnd.address != local)
            || (!remote.empty() && peerEnd.address != remote))
            return false;
        // Shut down, not closed: the library still owns the descriptor and
        // closes it itself, so it cannot be reused under its feet.
        found = ::shutdown(fd, SHUT_RDWR) == 0;
        return true;
    });
    return found;
}

int ConnectionSockets::shutdownAll(const std::string &localAddress, int localPort)
{
    const std::string local = normalised(localAddress);
    int count = 0;
    forEachConnection([&](int fd, const Endpoint &localEnd, const Endpoint &) {
        if (localEnd.port == localPort && (local.empty() || localEnd.address == local) && ::shutdown(fd, SHUT_RDWR) == 0)
            ++count;
        return false;
    });
    return count;
}

} // namespace tavoren::releaseservice
