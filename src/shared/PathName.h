#pragma once

#include <string>
#include <string_view>

namespace tavoren::shared {

// The one split of a path at its last slash, for opening the folder and
// acting on the name relative to it.
class PathName
{
public:
    // Everything before the last slash: "/" for a path right below the
    // root, "." for a path without a slash.
    static std::string parent(std::string_view path);
    // Everything after the last slash; the whole path without one.
    static std::string lastComponent(std::string_view path);
};

} // namespace tavoren::shared
