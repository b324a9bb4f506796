#pragma once

#include <optional>
#include <sys/types.h>

namespace tavoren::shared {

// Who is at the other end of a connected Unix-domain socket, as the kernel
// recorded it when the connection was made; the peer cannot forge it.
struct PeerCredentials
{
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;

    // None when the socket is not a connected Unix-domain socket (errno set).
    static std::optional<PeerCredentials> of(int socket);
};

} // namespace tavoren::shared
