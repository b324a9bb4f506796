#pragma once

#include "shared/Descriptor.h"

#include <optional>
#include <string>
#include <sys/stat.h>

namespace tavoren::installer {

// The installer's working folder, which every user may write, like /tmp.
// Another user may plant links in it or put a link in its place, so the
// folder is opened once without following links and every file in it is
// reached relative to that descriptor, again without following links.
class WorkingFolder
{
public:
    enum class Creation { Existed, Created, Failed };

    // Opens the folder at `path`, made first (sticky, 1777) when nothing is
    // there. Refused: a link, not a folder, owned by neither root nor the
    // effective user. A folder of the user's own is made 1777 again.
    // `creation` tells whether it had to be made; `problem` why it was refused.
    static std::optional<WorkingFolder> open(const std::string &path, Creation *creation, std::string *problem);

    const std::string &path() const { return m_path; }
    int fd() const { return m_fd.get(); }

    // A descriptor for appending to `name`, made (0666) when missing.
    // Refused (invalid descriptor, errno set): not a regular file, or a file
    // with another name elsewhere (a hard link could point anywhere).
    shared::Descriptor openForAppend(const std::string &name) const;
    // `name` emptied for writing anew: removed and made again, or, where the
    // sticky bit forbids removing another user's file, truncated.
    shared::Descriptor openEmpty(const std::string &name) const;
    shared::Descriptor openForReading(const std::string &name) const;
    // Removes `name`; a missing file counts as removed. errno on failure.
    bool remove(const std::string &name) const;
    // The entry itself, a link not followed; none when missing.
    std::optional<struct stat> status(const std::string &name) const;

private:
    WorkingFolder(shared::Descriptor fd, std::string path);

    shared::Descriptor m_fd;
    std::string m_path;
};

} // namespace tavoren::installer
