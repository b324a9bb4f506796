#pragma once

#include <optional>
#include <string>

namespace tavoren::agent {

// Whether a client started now could show its window. A job whose client
// cannot is better left held by the backend than reported started to a
// user who never sees it.
class GraphicalSession
{
public:
    virtual ~GraphicalSession() = default;

    // None when a window can be shown; otherwise why not, for the log.
    virtual std::optional<std::string> unreachable() const = 0;
};

} // namespace tavoren::agent
