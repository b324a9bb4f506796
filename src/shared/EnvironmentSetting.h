#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace tavoren::shared {

// The one reader of the environment's settings: waits and limits tests
// shorten, what a launcher passes on, the session's variables.
class EnvironmentSetting
{
public:
    // The variable's value; empty when unset.
    static std::string text(const char *variable);
    // The variable's value as a decimal whole number from `minimum` to
    // `maximum`, digits only; none when unset, empty or anything else.
    static std::optional<long long> wholeNumber(const char *variable, long long minimum, long long maximum);

    // The variable's whole-number milliseconds, 1 to `maximum`; otherwise,
    // unset or malformed, the fallback.
    static std::chrono::milliseconds milliseconds(const char *variable, std::chrono::milliseconds fallback,
                                                  std::chrono::milliseconds maximum);
};

} // namespace tavoren::shared
