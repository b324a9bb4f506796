#pragma once

#include "client/core/Clock.h"

namespace tavoren::client {

// The computer's wall clock, to the millisecond.
class SystemClock final : public Clock
{
public:
    double now() const override;
};

} // namespace tavoren::client
