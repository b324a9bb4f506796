#include "shared/EnvironmentSetting.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace tavoren::shared {

std::string EnvironmentSetting::text(const char *variable)
{
    const char *value = std::getenv(variable);
    return value ? value : "";
}

std::optional<long long> EnvironmentSetting::wholeNumber(const char *variable, long long minimum, long long maximum)
{
    const std::string value = text(variable);
    long long number = 0;
    const char *end = value.data() + value.size();
    const auto parsed = std::from_chars(value.data(), end, number);
    if (value.empty() || parsed.ec != std::errc() || parsed.ptr != end || number < minimum || number > maximum)
        return std::nullopt;
    return number;
}

std::chrono::milliseconds EnvironmentSetting::milliseconds(const char *variable, std::chrono::milliseconds fallback,
                                                           std::chrono::milliseconds maximum)
{
    const auto count = wholeNumber(variable, 1, maximum.count());
    return count ? std::chrono::milliseconds(*count) : fallback;
}

} // namespace tavoren::shared
