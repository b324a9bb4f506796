#pragma once

#include "shared/Clock.h"

#include <condition_variable>
#include <mutex>

namespace tavoren::shared {

// The machine's wall clock and its monotonic clock.
class MachineClock final : public Clock
{
public:
    WallTime wallNow() const override;
    TimePoint steadyNow() const override;
    bool sleepUntil(TimePoint deadline, const std::function<bool()> &woken) override;
    void wake() override;

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

} // namespace tavoren::shared
