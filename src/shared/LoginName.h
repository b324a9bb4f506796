#pragma once

#include <optional>
#include <string>

namespace tavoren::shared {

// Login names as they become socket folder names.
class LoginName
{
public:
    // The login name of the effective user; none when it has no account.
    static std::optional<std::string> current();

    // Whether a name can be one folder name below the socket root: not
    // empty, no "/" or NUL or control character, not "." or "..".
    static bool isUsableAsFolderName(const std::string &name);
};

} // namespace tavoren::shared
