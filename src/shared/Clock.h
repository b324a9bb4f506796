#pragma once

#include <chrono>
#include <functional>

namespace tavoren::shared {

// A program's time, handed in so tests can set and move it. The wall time is
// what the client signs its requests with and measures its waits by, and
// what the installer's log stamps; the steady time is what the installer's
// limits are measured against. A sleep ends at its deadline or as soon as
// what it waits for has come: whoever makes that happen calls wake().
class Clock
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    // Milliseconds since 1970, as the wall clock reads them.
    using WallTime = std::chrono::sys_time<std::chrono::milliseconds>;

    virtual ~Clock() = default;
    virtual WallTime wallNow() const = 0;
    virtual TimePoint steadyNow() const = 0;
    // Blocks until `deadline` (true) or until `woken` answers true (false).
    // `woken` is asked at once and after every wake().
    virtual bool sleepUntil(TimePoint deadline, const std::function<bool()> &woken) = 0;
    virtual void wake() = 0;

    // The same for a duration from now.
    bool sleepFor(std::chrono::milliseconds duration, const std::function<bool()> &woken)
    {
        return sleepUntil(steadyNow() + duration, woken);
    }

    // The wall time as seconds since 1970, to the millisecond.
    double wallSeconds() const { return std::chrono::duration<double>(wallNow().time_since_epoch()).count(); }
};

} // namespace tavoren::shared
