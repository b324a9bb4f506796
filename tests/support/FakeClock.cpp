#include "support/FakeClock.h"

#include <cmath>

namespace tavoren::testsupport {

namespace {
std::chrono::milliseconds fromSeconds(double seconds)
{
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}
} // namespace

FakeClock::FakeClock(double wallStart, double stepPerReading, std::chrono::milliseconds realTimeLimit)
    : m_step(fromSeconds(stepPerReading))
    , m_realTimeLimit(realTimeLimit)
    , m_wall(fromSeconds(wallStart))
{
}

FakeClock::WallTime FakeClock::wallNow() const
{
    std::lock_guard lock(m_mutex);
    ++m_readings;
    moveLocked(m_step);
    return m_wall;
}

FakeClock::TimePoint FakeClock::steadyNow() const
{
    std::lock_guard lock(m_mutex);
    return m_steady;
}

bool FakeClock::sleepUntil(TimePoint deadline, const std::function<bool()> &woken)
{
    std::unique_lock lock(m_mutex);
    const auto left = deadline - m_steady;
    if (left <= m_realTimeLimit)
        return !m_wake.wait_for(lock, left, woken);
    ++m_longWaits;
    m_wake.wait(lock, [&] { return m_steady >= deadline || woken(); });
    --m_longWaits;
    return !woken();
}

void FakeClock::wake()
{
    std::lock_guard lock(m_mutex);
    m_wake.notify_all();
}

void FakeClock::advance(std::chrono::milliseconds duration)
{
    std::lock_guard lock(m_mutex);
    moveLocked(duration);
}

void FakeClock::advance(double seconds)
{
    advance(fromSeconds(seconds));
}

int FakeClock::readings() const
{
    std::lock_guard lock(m_mutex);
    return m_readings;
}

int FakeClock::longWaits() const
{
    std::lock_guard lock(m_mutex);
    return m_longWaits;
}

void FakeClock::moveLocked(std::chrono::milliseconds duration) const
{
    if (duration == std::chrono::milliseconds::zero())
        return;
    m_wall += duration;
    m_steady += duration;
    m_wake.notify_all();
}

} // namespace tavoren::testsupport
