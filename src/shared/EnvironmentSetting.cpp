#include "shared/EnvironmentSetting.h"

#include <cerrno>
#include <cstdlib>

namespace tavoren::shared {

std::chrono::milliseconds EnvironmentSetting::milliseconds(const char *variable, std::chrono::milliseconds fallback,
                                                           std::chrono::milliseconds maximum)
{
    const char *value = std::getenv(variable);
    if (!value || !*value)
        return fallback;
    char *end = nullptr;
    errno = 0;
    const long long count = std::strtoll(value, &end, 10);
    if (errno != 0 || *end != '\0' || count < 1 || count > maximum.count())
        return fallback;
    return std::chrono::milliseconds(count);
}

} // namespace tavoren::shared
