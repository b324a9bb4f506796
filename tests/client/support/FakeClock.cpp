#include "client/support/FakeClock.h"

namespace tavoren::clienttest {

FakeClock::FakeClock(double start, double stepPerReading)
    : m_now(start)
    , m_step(stepPerReading)
{
}

double FakeClock::now() const
{
    ++m_readings;
    m_now += m_step;
    return m_now;
}

} // namespace tavoren::clienttest
