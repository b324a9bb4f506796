#pragma once

#include "shared/Clock.h"

#include <condition_variable>
#include <mutex>

namespace tavoren::testsupport {

// A program's clock as a test sets and moves it; wall and steady time move
// together. Each wall reading may move the clock on by a step, and readings
// are counted: a job that keeps reading the clock while it waits shows that
// it is waiting, without the test waiting a fixed time. Short sleeps (the
// polls, up to `realTimeLimit`) pass in real time and leave the clock where
// it is; a long wait (for a reply, the stall limit) ends only when the test
// moves the clock past its deadline, or when it is woken. So a time limit is
// reached exactly when the test says, however fast the machine.
class FakeClock final : public shared::Clock
{
public:
    // `wallStart` and the step in seconds (since 1970), to the millisecond.
    explicit FakeClock(double wallStart = 1'800'000'000.0, double stepPerReading = 0,
                       std::chrono::milliseconds realTimeLimit = std::chrono::seconds(10));

    WallTime wallNow() const override;
    TimePoint steadyNow() const override;
    bool sleepUntil(TimePoint deadline, const std::function<bool()> &woken) override;
    void wake() override;

    void advance(std::chrono::milliseconds duration);
    void advance(double seconds);
    // Readings of the wall time so far.
    int readings() const;
    // Threads in a long wait now.
    int longWaits() const;

private:
    void moveLocked(std::chrono::milliseconds duration) const;

    const std::chrono::milliseconds m_step;
    const std::chrono::milliseconds m_realTimeLimit;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_wake;
    // A reading moves the clock by its step, so readings change these too.
    mutable WallTime m_wall;
    mutable TimePoint m_steady;
    mutable int m_readings = 0;
    int m_longWaits = 0;
};

} // namespace tavoren::testsupport
