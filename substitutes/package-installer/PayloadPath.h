#pragma once

#include "package-installer/PayloadLimits.h"
#include "shared/Expected.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavoren::packageinstaller {

// Paths of archive entries, relative to the place they are installed at:
// "./Library/x/", "Library//x" and "Library/./x" all name {"Library", "x"};
// "." names the place itself (no names).
class PayloadPath
{
public:
    // The names of `path`, or an error whose text is why it cannot be
    // installed ("is an absolute path"): absolute, a ".." component, a
    // control character, too long.
    static shared::Expected<std::vector<std::string>> split(std::string_view path, const PayloadLimits &limits);

    // "Library/x" for {"Library", "x"}; "." for none.
    static std::string join(const std::vector<std::string> &names);
    static std::string join(const std::vector<std::string> &names, std::size_t count);

    // The path as an installed path: "/" + names below `prefix` ("/" or an
    // absolute folder).
    static std::string absolute(const std::string &prefix, const std::vector<std::string> &names);

    // A path quoted for one line of text: control characters escaped, long
    // paths shortened.
    static std::string shown(std::string_view path);

    static bool hasControlCharacter(std::string_view text);
};

} // namespace tavoren::packageinstaller
