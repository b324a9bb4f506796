#pragma once

#include "shared/Expected.h"

namespace tavoren::agent {

// Whether a client started now could show its window. A job whose client
// cannot is better left held by the backend than reported started to a
// user who never sees it.
class GraphicalSession
{
public:
    virtual ~GraphicalSession() = default;

    // Whether a window can be shown; if not, the error's text says why, for
    // the log.
    virtual shared::Expected<void> reachable() const = 0;
};

} // namespace tavoren::agent
