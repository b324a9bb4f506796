#include "FakeClock.h"

namespace tavoren::testsupport {

namespace {
// Any fixed moment: the log's stamps do not depend on when a test runs.
const QDateTime start(QDate(2026, 1, 5), QTime(10, 0));
} // namespace

FakeClock::FakeClock(std::chrono::milliseconds realTimeLimit)
    : m_realTimeLimit(realTimeLimit)
{
}

FakeClock::TimePoint FakeClock::now() const
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

QDateTime FakeClock::currentDateTime() const
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now() - TimePoint());
    return start.addMSecs(elapsed.count());
}

bool FakeClock::sleepUntil(TimePoint deadline, const std::function<bool()> &woken)
{
    std::unique_lock lock(m_mutex);
    const auto left = deadline - m_now;
    if (left <= m_realTimeLimit)
        return !m_wake.wait_for(lock, left, woken);
    ++m_longWaits;
    m_wake.wait(lock, [&] { return m_now >= deadline || woken(); });
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
    m_now += duration;
    m_wake.notify_all();
}

int FakeClock::longWaits() const
{
    std::lock_guard lock(m_mutex);
    return m_longWaits;
}

} // namespace tavoren::testsupport
