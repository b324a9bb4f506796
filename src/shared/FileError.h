#pragma once

#include <string>

namespace tavoren::shared {

// A failed file operation: what was tried, on which path, and errno.
struct FileError
{
    std::string operation; // "remove", "list", "create"
    std::string path;
    int error = 0;

    // One line for the system log, e.g.
    // Could not remove "/spool/job12/a.pdf": Permission denied
    std::string description() const;
};

} // namespace tavoren::shared
