#include "installer/core/SteadyInstallerClock.h"

namespace tavoren::installer {

InstallerClock::TimePoint SteadyInstallerClock::now() const
{
    return std::chrono::steady_clock::now();
}

QDateTime SteadyInstallerClock::currentDateTime() const
{
    return QDateTime::currentDateTime();
}

bool SteadyInstallerClock::sleepUntil(TimePoint deadline, const std::function<bool()> &woken)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_until(lock, deadline, woken);
}

void SteadyInstallerClock::wake()
{
    // Taken, so a sleeper between asking `woken` and waiting cannot miss it.
    std::lock_guard lock(m_mutex);
    m_wake.notify_all();
}

} // namespace tavoren::installer
