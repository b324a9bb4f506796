#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavoren::helpertool {

// Collects the bytes of one request as they arrive: one line, its line end
// included at most `limit` bytes, and nothing after it.
class RequestFrame
{
public:
    enum class State {
        Incomplete, // no line end yet
        Complete,   // one line and its line end, nothing more
        TooLong,    // over the limit, line end or not
        ExtraBytes, // something follows the line end
    };

    explicit RequestFrame(std::size_t limit);

    State add(std::string_view bytes);
    State state() const { return m_state; }
    // The line without its line end, once complete.
    std::string_view line() const;
    // How many more bytes a read may ask for: one past the limit is enough
    // to tell an over-long request.
    std::size_t room() const;

private:
    std::size_t m_limit;
    std::string m_bytes;
    State m_state = State::Incomplete;
};

} // namespace tavoren::helpertool
