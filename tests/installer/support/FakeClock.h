#pragma once

#include "installer/core/InstallerClock.h"

#include <condition_variable>
#include <mutex>

namespace tavoren::testsupport {

// The installer's clock as a test moves it. Short sleeps (the polls, up to
// `realTimeLimit`) pass in real time and leave the clock where it is; a long
// wait (for a reply, the stall limit) ends only when the test moves the
// clock past its deadline, or when it is woken. So a time limit is reached
// exactly when the test says, however fast the machine.
class FakeClock final : public installer::InstallerClock
{
public:
    explicit FakeClock(std::chrono::milliseconds realTimeLimit = std::chrono::seconds(10));

    TimePoint now() const override;
    QDateTime currentDateTime() const override;
    bool sleepUntil(TimePoint deadline, const std::function<bool()> &woken) override;
    void wake() override;

    void advance(std::chrono::milliseconds duration);
    // Threads in a long wait now.
    int longWaits() const;

private:
    const std::chrono::milliseconds m_realTimeLimit;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    TimePoint m_now;
    int m_longWaits = 0;
};

} // namespace tavoren::testsupport
