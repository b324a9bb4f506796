#pragma once

#include <QDateTime>
#include <chrono>
#include <functional>

namespace tavoren::installer {

// The installer's time: the moments its limits are measured against, the
// date and time its log stamps, and every wait of its background threads.
// A wait ends at its deadline or as soon as what it waits for has come:
// whoever makes that happen calls wake(). Tests hand in a clock they move.
class InstallerClock
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~InstallerClock() = default;
    virtual TimePoint now() const = 0;
    virtual QDateTime currentDateTime() const = 0;
    // Blocks until `deadline` (true) or until `woken` answers true (false).
    // `woken` is asked at once and after every wake().
    virtual bool sleepUntil(TimePoint deadline, const std::function<bool()> &woken) = 0;
    virtual void wake() = 0;

    // The same for a duration from now.
    bool sleepFor(std::chrono::milliseconds duration, const std::function<bool()> &woken)
    {
        return sleepUntil(now() + duration, woken);
    }
};

} // namespace tavoren::installer
