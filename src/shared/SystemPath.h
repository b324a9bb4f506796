#pragma once

#include <string>
#include <string_view>

namespace tavoren::shared {

// Every absolute system path of the programs goes through here, so that a
// test or the demo can move the whole system below one folder by setting
// TAVOREN_ROOT. Unset or empty, the real path is used.
class SystemPath
{
public:
    static constexpr const char *rootVariable = "TAVOREN_ROOT";

    // The path as it is used on this machine: $TAVOREN_ROOT followed by the
    // absolute path, or the path itself.
    static std::string resolve(std::string_view absolutePath);

    // The root in force, empty when none is set.
    static std::string root();
};

} // namespace tavoren::shared
