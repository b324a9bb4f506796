#pragma once

namespace tavoren::client {

// Ends the client's process; tests record it instead.
class Termination
{
public:
    virtual ~Termination() = default;
    virtual void terminate() = 0;
};

} // namespace tavoren::client
