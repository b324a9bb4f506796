#pragma once

#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <optional>
#include <string>
#include <sys/stat.h>

namespace tavoren::installer {

// The installer's working folder. Root's is shared like /tmp (1777), so the
// installer of any user may keep its log there; a user's installer that
// finds none makes one of its own (0755). Another user may have put a folder,
// a file or a link in its place, or plant them among its files, so the
// folder is opened without following links, every file in it is reached
// relative to that descriptor, and only files of the installer's own user
// are written or read.
class WorkingFolder
{
public:
    // The folder was missing and could not be made.
    static constexpr const char *createAction = "create";
    // What is there is refused; the Error's text says why.
    static constexpr const char *useAction = "use";

    // Opens the folder at `path`. Root replaces whatever is in its place and
    // is not root's (a link, a file, another user's folder) and makes it
    // root's 1777. Another user makes it (0755) when nothing is there, uses
    // root's or its own, and refuses anything else.
    static shared::Expected<WorkingFolder> open(const std::string &path);

    const std::string &path() const { return m_path; }
    int fd() const { return m_fd.get(); }

    // A descriptor for appending to `name`, made (0644) when missing. What is
    // there and is not a plain file of the effective user (another user's
    // file, a link, a second name of a file elsewhere) is replaced when it
    // can be removed, else refused.
    shared::Expected<shared::Descriptor> openForAppend(const std::string &name) const;
    // `name` emptied for writing anew: removed and made again (0644).
    shared::Expected<shared::Descriptor> openEmpty(const std::string &name) const;
    // A plain file of root or of the effective user; nothing else is read.
    shared::Expected<shared::Descriptor> openForReading(const std::string &name) const;
    // Removes `name`; a missing file counts as removed.
    shared::Expected<void> remove(const std::string &name) const;
    // The entry itself, a link not followed; none when missing.
    std::optional<struct stat> status(const std::string &name) const;

private:
    WorkingFolder(shared::Descriptor fd, std::string path);

    shared::Descriptor m_fd;
    std::string m_path;
};

} // namespace tavoren::installer
