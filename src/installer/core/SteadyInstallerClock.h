#pragma once

#include "installer/core/InstallerClock.h"

#include <condition_variable>
#include <mutex>

namespace tavoren::installer {

// The machine's monotonic clock and its local date and time.
class SteadyInstallerClock final : public InstallerClock
{
public:
    TimePoint now() const override;
    QDateTime currentDateTime() const override;
    bool sleepUntil(TimePoint deadline, const std::function<bool()> &woken) override;
    void wake() override;

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

} // namespace tavoren::installer
