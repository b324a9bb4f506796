#pragma once

namespace tavoren::client {

// The local time in seconds since 1970: what the job measures its waits
// against and signs its requests with. Tests hand in a clock they set.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

} // namespace tavoren::client
