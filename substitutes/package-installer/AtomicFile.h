#pragma once

#include "shared/FileError.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavoren::packageinstaller {

// Replaces a file in an open folder so that a reader sees the old or the
// new content, never a part: a new file beside it, synced, renamed over it.
class AtomicFile
{
public:
    // `shownPath` names the file in the error.
    static std::optional<shared::FileError> write(int folderFd, const std::string &name, std::string_view content,
                                                  unsigned mode, const std::string &shownPath);
    // The same for a path; the folder is opened as given.
    static std::optional<shared::FileError> write(const std::string &path, std::string_view content, unsigned mode);
};

} // namespace tavoren::packageinstaller
