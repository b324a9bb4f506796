#pragma once

#include <string>

namespace tavoren::shared {

// Why an operation failed: what was being done, on what, the system's code
// (errno, 0 when none applies) and, where the code does not say it all,
// words of our own.
struct Error
{
    std::string action;  // "open", "create", "install"
    std::string subject; // a path or a name; may be empty
    int code = 0;
    std::string text;

    // errno as it stands now, unless given.
    static Error system(std::string action, std::string subject, int code);
    static Error system(std::string action, std::string subject);
    static Error because(std::string action, std::string subject, std::string text);

    // One line, e.g.
    //   Could not open "/var/tmp/kyr": Permission denied
    //   Could not install "/medium/x.pkg": it is not the package this helper was built with
    std::string description() const;
};

} // namespace tavoren::shared
