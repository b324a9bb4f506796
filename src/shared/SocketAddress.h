#pragma once

#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>

namespace tavoren::shared {

// A Unix-domain address that holds its whole path: a path that does not fit,
// or holds a NUL, gives no address rather than a truncated one.
class SocketAddress
{
public:
    // The longest path an address can hold, its NUL not counted.
    static constexpr std::size_t maximumPathLength = sizeof(sockaddr_un::sun_path) - 1;

    static std::optional<SocketAddress> forPath(const std::string &path);

    const sockaddr *address() const { return reinterpret_cast<const sockaddr *>(&m_address); }
    // Covers the family field and the path with its NUL.
    socklen_t length() const { return m_length; }

private:
    SocketAddress() = default;
    sockaddr_un m_address{};
    socklen_t m_length = 0;
};

} // namespace tavoren::shared
