#pragma once

#include "client/core/Clock.h"

namespace tavoren::clienttest {

// The client's clock as a test sets it. Each reading may move it on by a
// step, and readings are counted: a job that keeps reading the clock while
// it waits shows that it is waiting, without the test waiting a fixed time.
class FakeClock final : public client::Clock
{
public:
    explicit FakeClock(double start = 1'800'000'000.0, double stepPerReading = 0);

    double now() const override;

    void advance(double seconds) { m_now += seconds; }
    int readings() const { return m_readings; }

private:
    mutable double m_now;
    double m_step;
    mutable int m_readings = 0;
};

} // namespace tavoren::clienttest
