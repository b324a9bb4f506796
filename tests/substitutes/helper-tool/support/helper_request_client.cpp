// Sends one request read from standard input to the helper socket and
// prints the bytes answered, for tests that connect as another user:
//   tavoren_helper_request_client SOCKET
// Exit status 0 when the helper closed the connection, 1 when it did not
// within a minute, 2 when it could not be reached.
//   tavoren_helper_request_client --churn N SOCKET STOPFILE
// Opens N connections at once, closes them and starts again, until STOPFILE
// exists; prints the number of connections made.
#include "support/HelperExchange.h"
#include "shared/Descriptor.h"
#include "shared/SocketAddress.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
int churn(int count, const std::string &socket, const std::string &stopFile)
{
    const auto address = tavoren::shared::SocketAddress::forPath(socket);
    if (!address || count <= 0)
        return 2;
    long connections = 0;
    while (::access(stopFile.c_str(), F_OK) != 0) {
        std::vector<tavoren::shared::Descriptor> open;
        for (int i = 0; i < count; ++i) {
            tavoren::shared::Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
            if (fd && ::connect(fd.get(), address->address(), address->length()) == 0) {
                ++connections;
                open.push_back(std::move(fd));
            }
        }
        // No helper yet: not a busy loop meanwhile.
        if (open.empty())
            ::usleep(1000);
    }
    std::printf("%ld\n", connections);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc == 5 && std::string(argv[1]) == "--churn")
        return churn(std::atoi(argv[2]), argv[3], argv[4]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavoren_helper_request_client SOCKET\n"
                             "       tavoren_helper_request_client --churn N SOCKET STOPFILE\n");
        return 2;
    }
    const std::string request((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    const auto exchange = tavoren::testsupport::HelperExchange::run(argv[1], request, 60000);
    std::fwrite(exchange.reply.data(), 1, exchange.reply.size(), stdout);
    return !exchange.connected ? 2 : exchange.ended ? 0 : 1;
}
