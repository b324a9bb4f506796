#pragma once

#include <string>

namespace tavoren::releaseservice {

// The HTTP library hands handlers no socket, yet a fault must be able to cut
// a connection without an answer and stop() must end idle keep-alive
// connections at once. Both find the connection by its addresses among the
// process's open sockets and shut it down; the library then closes it.
class ConnectionSockets
{
public:
    // Shuts down the one connection with these ends; false if none matched.
    static bool shutdownConnection(const std::string &localAddress, int localPort, const std::string &remoteAddress,
                                   int remotePort);
    // Shuts down every accepted connection on this local address and port
    // (an empty address matches any). Returns how many.
    static int shutdownAll(const std::string &localAddress, int localPort);
};

} // namespace tavoren::releaseservice
