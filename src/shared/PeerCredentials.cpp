#include "shared/PeerCredentials.h"

#include <sys/socket.h>

namespace tavoren::shared {

std::optional<PeerCredentials> PeerCredentials::of(int socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return std::nullopt;
    return PeerCredentials{peer.pid, peer.uid, peer.gid};
}

} // namespace tavoren::shared
