#pragma once

#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <string>
#include <sys/types.h>

namespace tavoren::shared {

// A folder that root makes for several users or for root alone, in a place
// others may have reached first. Everything is done through descriptors:
// each folder above is opened without following a link that someone other
// than root could have made, the folder itself is made and changed relative
// to its open parent, and mode and owner are set on the open folder, so a
// link swapped in between leads nowhere. What is not root's (or the one
// user's it is made for) is never adopted: a link, a file or another
// user's folder in its place is removed, without following links, and the
// folder is made anew.
class SharedFolder
{
public:
    struct Options
    {
        mode_t mode = 01777;         // set on the folder, the umask aside
        mode_t parentMode = 0755;    // for folders made above it
        uid_t alsoAccepted = 0;      // a user whose folder is used as it is (0: nobody else)
        int attempts = 64;           // rounds against someone who keeps putting things back
        // Where the checks begin, opened as given like "/": the root of the
        // installation (TAVOREN_ROOT when empty and set, else "/").
        std::string trustedRoot;

        // Shared by every user, like /tmp; `owner`'s own folder is used as it is.
        static Options forEveryone(uid_t owner = 0);
        // Root's alone (0700).
        static Options forRootAlone();
    };

    // Root only. The open folder, or why there is none. `path` is absolute
    // and already resolved below any root.
    static Expected<Descriptor> make(const std::string &path, const Options &options);
    static Expected<Descriptor> make(const std::string &path) { return make(path, Options{}); }

    // Opens each folder of the absolute `path` below `trustedRoot` (see
    // Options) without following a link unless root made it in a folder only
    // root can change; each must be root's and writable by root alone, or
    // sticky. Missing ones are made with `mode` when `create` is set.
    static Expected<Descriptor> openTrusted(const std::string &path, bool create, mode_t mode,
                                            const std::string &trustedRoot = {});
};

} // namespace tavoren::shared
