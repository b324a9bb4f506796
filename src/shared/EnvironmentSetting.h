#pragma once

#include <chrono>

namespace tavoren::shared {

// Waits and limits the environment may change (tests shorten them).
class EnvironmentSetting
{
public:
    // The variable's whole-number milliseconds, 1 to `maximum`; otherwise,
    // unset or malformed, the fallback.
    static std::chrono::milliseconds milliseconds(const char *variable, std::chrono::milliseconds fallback,
                                                  std::chrono::milliseconds maximum);
};

} // namespace tavoren::shared
