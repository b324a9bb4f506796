#pragma once

#include "shared/FileError.h"

#include <optional>
#include <string>
#include <vector>

namespace tavoren::shared {

// Removal and listing that never follow a symbolic link: a link is removed
// itself, and every step works relative to an open folder, so a folder
// swapped for a link halfway cannot lead outside.
class FileTree
{
public:
    // Removes `path` with everything in it. The folder holding it is opened
    // as given; below that nothing is followed.
    static std::optional<FileError> remove(const std::string &path);

    // Removes the entry `name` of the open folder `folderFd`; `shownPath` is
    // the entry's path for the error.
    static std::optional<FileError> removeAt(int folderFd, const std::string &name, const std::string &shownPath);

    // The entry names of an open folder ("." and ".." left out), in the
    // order of the listing. The descriptor stays open.
    static std::optional<std::vector<std::string>> names(int folderFd);

    // Creates `path` with `mode` and missing folders above it with
    // `intermediateMode`, both exactly, the umask aside. An existing folder
    // is fine and keeps its mode.
    static std::optional<FileError> makeFolders(const std::string &path, unsigned mode, unsigned intermediateMode);

    // Opens `path` as a folder without following a link in its place: the
    // descriptor, or -1 with errno (ELOOP for a link, ENOTDIR for anything
    // else that is no folder). The caller closes it.
    static int openRealFolder(const std::string &path);
};

} // namespace tavoren::shared
