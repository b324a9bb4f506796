#pragma once

#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <string>
#include <sys/types.h>

namespace tavoren::shared {

// Files in a folder that others may write too (the client's log folder, the
// installer's working folder). Each is reached relative to the folder's open
// descriptor, never through a link, never waiting on a FIFO; only a regular
// file with no second name elsewhere is used, since a hard link planted in
// the folder could name a file of the writer's somewhere else.
class FolderFile
{
public:
    // Whose files may be used.
    enum class Owner {
        Anyone,    // a file every user shares
        Self,      // the effective user's alone
        SelfOrRoot // the effective user's, or root's (for reading)
    };

    struct AppendRules
    {
        mode_t mode = 0644;        // of a file made anew, the umask aside
        Owner owner = Owner::Self;
        bool readToo = false;      // opened for reading as well, where its mode allows
        // What is there and may not be used (a link, another user's file, a
        // second name) is removed and the file made anew, where the folder
        // lets us; otherwise it is refused.
        bool replaceUnusable = false;
    };

    // `name` in the folder, for appending, made when missing. An existing
    // file is opened without O_CREAT, which the kernel refuses on another
    // user's file in a sticky folder where it protects regular files.
    static Expected<Descriptor> openForAppend(int folderFd, const std::string &name, const AppendRules &rules);
    // `name` made anew (O_CREAT | O_EXCL) with `mode`, the umask aside;
    // `access` is O_WRONLY or O_RDWR and may add O_APPEND, O_NONBLOCK.
    static Expected<Descriptor> create(int folderFd, const std::string &name, int access, mode_t mode);
    // An open file that is regular, has no other name, and is `owner`'s.
    static Expected<void> check(int fd, const std::string &name, Owner owner);
};

} // namespace tavoren::shared
