#pragma once

#include "shared/Expected.h"

#include <chrono>
#include <optional>
#include <string>

namespace tavoren::helpertool {

// Reads the one request line of a connection, bounded in size and time.
class RequestReader
{
public:
    // The complete request line without its line end; none when nothing
    // came in time or the helper is ending (close, no reply); or the
    // refusal a reply is owed for (too long, more than one line, cut short),
    // its text the reason. Gives up at `timeout` after the start, or when
    // `wakeFd` turns readable.
    static shared::Expected<std::optional<std::string>> read(int socket, int wakeFd, std::chrono::milliseconds timeout);
};

} // namespace tavoren::helpertool
