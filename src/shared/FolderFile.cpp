#include "shared/FolderFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::shared {

namespace {
// Someone removing or planting the file between our steps sends us round
// again; a few rounds settle every realistic race.
constexpr int attempts = 16;
// Never through a link, and never waiting on a FIFO or a lease.
constexpr int safeFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

bool ownerAccepted(uid_t owner, FolderFile::Owner accepted)
{
    switch (accepted) {
    case FolderFile::Owner::Anyone:
        return true;
    case FolderFile::Owner::Self:
        return owner == ::geteuid();
    case FolderFile::Owner::SelfOrRoot:
        return owner == ::geteuid() || owner == 0;
    }
    return false;
}
} // namespace

Expected<void> FolderFile::check(int fd, const std::string &name, Owner owner)
{
    struct stat status{};
    if (::fstat(fd, &status) != 0)
        return Error::system("examine", name);
    if (!S_ISREG(status.st_mode))
        return Error::system("use", name, EINVAL);
    if (status.st_nlink != 1)
        return Error::system("use", name, EMLINK);
    if (!ownerAccepted(status.st_uid, owner))
        return Error::system("use", name, EPERM);
    return {};
}

Expected<Descriptor> FolderFile::create(int folderFd, const std::string &name, int access, mode_t mode)
{
    Descriptor fd(::openat(folderFd, name.c_str(), access | safeFlags | O_CREAT | O_EXCL, mode));
    if (!fd)
        return Error::system("create", name);
    ::fchmod(fd.get(), mode); // whatever the umask
    return fd;
}

Expected<Descriptor> FolderFile::openForAppend(int folderFd, const std::string &name, const AppendRules &rules)
{
    const int access = (rules.readToo ? O_RDWR : O_WRONLY) | O_APPEND;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        Descriptor fd(::openat(folderFd, name.c_str(), access | safeFlags));
        if (!fd && errno == EACCES && rules.readToo)
            fd = Descriptor(::openat(folderFd, name.c_str(), O_WRONLY | O_APPEND | safeFlags));
        if (!fd && errno == EINTR)
            continue;
        if (!fd && errno == ENOENT) {
            auto made = create(folderFd, name, access, rules.mode);
            if (made || made.error().code != EEXIST)
                return made;
            continue;
        }
        Expected<void> usable = fd ? check(fd.get(), name, rules.owner) : Error::system("open", name);
        if (usable)
            return fd;
        if (!rules.replaceUnusable)
            return usable.error();
        fd.reset();
        if (::unlinkat(folderFd, name.c_str(), 0) != 0 && errno != ENOENT)
            return Error::system("remove", name);
    }
    return Error::system("open", name, EAGAIN);
}

} // namespace tavoren::shared
