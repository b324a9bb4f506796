// Sends one request read from standard input to the helper socket and
// prints the bytes answered, for tests that connect as another user:
//   tavoren_helper_request_client SOCKET
// Exit status 0 when the helper closed the connection, 1 when it did not
// within a minute, 2 when it could not be reached.
#include "support/HelperExchange.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavoren_helper_request_client SOCKET\n");
        return 2;
    }
    const std::string request((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    const auto exchange = tavoren::testsupport::HelperExchange::run(argv[1], request, 60000);
    std::fwrite(exchange.reply.data(), 1, exchange.reply.size(), stdout);
    return !exchange.connected ? 2 : exchange.ended ? 0 : 1;
}
