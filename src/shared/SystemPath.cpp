#include "shared/SystemPath.h"

#include "shared/EnvironmentSetting.h"

namespace tavoren::shared {

std::string SystemPath::root()
{
    std::string result = EnvironmentSetting::text(rootVariable);
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

std::string SystemPath::resolve(std::string_view absolutePath)
{
    const std::string prefix = root();
    if (prefix.empty())
        return std::string(absolutePath);
    if (prefix == "/")
        return std::string(absolutePath);
    return prefix + std::string(absolutePath);
}

} // namespace tavoren::shared
