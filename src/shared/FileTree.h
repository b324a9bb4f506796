#pragma once

#include "shared/Descriptor.h"
#include "shared/Expected.h"

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
    static Expected<void> remove(const std::string &path);

    // Removes the entry `name` of the open folder `folderFd`; `shownPath` is
    // the entry's path for the error.
    static Expected<void> removeAt(int folderFd, const std::string &name, const std::string &shownPath);

    // The entry names of an open folder ("." and ".." left out), in the
    // order of the listing; `shownPath` names the folder in an error. The
    // descriptor stays open.
    static Expected<std::vector<std::string>> names(int folderFd, const std::string &shownPath = {});

    // Creates `path` with `mode` and missing folders above it with
    // `intermediateMode`, both exactly, the umask aside. An existing folder
    // is fine and keeps its mode.
    static Expected<void> makeFolders(const std::string &path, unsigned mode, unsigned intermediateMode);

    // Opens `path` as a folder without following a link in its place; the
    // error's code is ELOOP for a link, ENOTDIR for anything else that is no
    // folder.
    static Expected<Descriptor> openRealFolder(const std::string &path);
};

} // namespace tavoren::shared
