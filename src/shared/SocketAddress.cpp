#include "shared/SocketAddress.h"

#include <cstddef>
#include <cstring>

namespace tavoren::shared {

std::optional<SocketAddress> SocketAddress::forPath(const std::string &path)
{
    if (path.empty() || path.size() > maximumPathLength || path.find('\0') != std::string::npos)
        return std::nullopt;
    SocketAddress result;
    result.m_address.sun_family = AF_UNIX;
    std::memcpy(result.m_address.sun_path, path.data(), path.size());
    result.m_address.sun_path[path.size()] = '\0';
    result.m_length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return result;
}

} // namespace tavoren::shared
