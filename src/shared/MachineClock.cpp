#include "shared/MachineClock.h"

namespace tavoren::shared {

Clock::WallTime MachineClock::wallNow() const
{
    return std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

Clock::TimePoint MachineClock::steadyNow() const
{
    return std::chrono::steady_clock::now();
}

bool MachineClock::sleepUntil(TimePoint deadline, const std::function<bool()> &woken)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_until(lock, deadline, woken);
}

void MachineClock::wake()
{
    // Taken, so a sleeper between asking `woken` and waiting cannot miss it.
    std::lock_guard lock(m_mutex);
    m_wake.notify_all();
}

} // namespace tavoren::shared
