#pragma once

#include <string>

namespace tavoren::testsupport {

// One request on a Unix socket as the installer sends it: connect, write
// the bytes, read until the helper closes.
struct HelperExchange
{
    bool connected = false;
    bool ended = false;  // the helper closed before the time was up
    std::string reply;   // every byte read

    static HelperExchange run(const std::string &socketPath, const std::string &request, int timeoutMs);
};

} // namespace tavoren::testsupport
