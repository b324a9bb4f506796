#pragma once

#include "helper-tool/Reply.h"

#include <chrono>
#include <string>

namespace tavoren::helpertool {

// Reads the one request line of a connection, bounded in size and time.
class RequestReader
{
public:
    enum class Result {
        Line,    // a complete request line
        Refused, // a reply is owed: too long, more than one line, cut short
        Dropped, // nothing in time, or the helper is ending: close, no reply
    };
    struct Outcome
    {
        Result result = Result::Dropped;
        std::string line; // without its line end
        Reply refusal;
    };

    // Gives up at `timeout` after the start, or when `wakeFd` turns
    // readable.
    static Outcome read(int socket, int wakeFd, std::chrono::milliseconds timeout);
};

} // namespace tavoren::helpertool
