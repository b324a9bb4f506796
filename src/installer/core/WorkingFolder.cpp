#include "installer/core/WorkingFolder.h"

#include "shared/SharedFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tavoren::installer {

namespace {
constexpr mode_t ownMode = 0755;
constexpr mode_t fileMode = 0644;
constexpr int attempts = 16;

// A file the installer may write or read: regular, not a second name of a
// file that lives elsewhere, and its own user's (or root's, for reading).
bool isPlainFile(int fd, bool rootsToo)
{
    struct stat status{};
    if (::fstat(fd, &status) != 0)
        return false;
    const uid_t self = ::geteuid();
    if (!S_ISREG(status.st_mode) || status.st_nlink != 1 || (status.st_uid != self && !(rootsToo && status.st_uid == 0))) {
        errno = !S_ISREG(status.st_mode) ? EINVAL : status.st_nlink != 1 ? EMLINK : EPERM;
        return false;
    }
    return true;
}

shared::Descriptor createNew(int folderFd, const std::string &name, int flags)
{
    shared::Descriptor fd(::openat(folderFd, name.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode));
    if (fd)
        ::fchmod(fd.get(), fileMode);
    return fd;
}
} // namespace

WorkingFolder::WorkingFolder(shared::Descriptor fd, std::string path)
    : m_fd(std::move(fd))
    , m_path(std::move(path))
{
}

std::optional<WorkingFolder> WorkingFolder::open(const std::string &path, Creation *creation, std::string *problem)
{
    *creation = Creation::Existed;
    struct stat entry{};
    const bool missing = ::lstat(path.c_str(), &entry) != 0 && errno == ENOENT;
    const uid_t self = ::geteuid();
    if (self == 0) {
        auto made = shared::SharedFolder::make(path, shared::SharedFolder::Options::forEveryone());
        if (!made) {
            *creation = missing ? Creation::Failed : Creation::Existed;
            *problem = made.error().description();
            return std::nullopt;
        }
        *creation = missing ? Creation::Created : Creation::Existed;
        return WorkingFolder(std::move(*made), path);
    }

    if (missing) {
        *creation = ::mkdir(path.c_str(), ownMode) == 0 ? Creation::Created : Creation::Failed;
        // Someone else may have made it first; what is there now is checked below.
    }
    shared::Descriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        *problem = errno == ELOOP || errno == ENOTDIR ? "it is a link or not a folder" : "it cannot be opened";
        return std::nullopt;
    }
    struct stat status{};
    if (::fstat(fd.get(), &status) != 0) {
        *problem = "it cannot be examined";
        return std::nullopt;
    }
    if (status.st_uid != 0 && status.st_uid != self) {
        *problem = "it belongs to another user (uid " + std::to_string(status.st_uid) + ")";
        return std::nullopt;
    }
    // A folder of the user's own is nobody else's to write.
    if (status.st_uid == self && (status.st_mode & 07777) != ownMode && ::fchmod(fd.get(), ownMode) != 0) {
        *problem = "its mode cannot be set";
        return std::nullopt;
    }
    return WorkingFolder(std::move(fd), path);
}

shared::Descriptor WorkingFolder::openForAppend(const std::string &name) const
{
    constexpr int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        shared::Descriptor fd(::openat(m_fd.get(), name.c_str(), flags));
        if (fd && isPlainFile(fd.get(), false))
            return fd;
        if (!fd && errno == ENOENT) {
            fd = createNew(m_fd.get(), name, O_WRONLY | O_APPEND | O_NONBLOCK);
            if (fd || errno != EEXIST)
                return fd;
            continue;
        }
        // Not ours, or not a file at all: replaced when the folder lets us.
        fd.reset();
        if (!remove(name))
            return {};
    }
    errno = EAGAIN;
    return {};
}

shared::Descriptor WorkingFolder::openEmpty(const std::string &name) const
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!remove(name))
            return {};
        shared::Descriptor fd = createNew(m_fd.get(), name, O_WRONLY);
        if (fd || errno != EEXIST)
            return fd;
    }
    errno = EAGAIN;
    return {};
}

shared::Descriptor WorkingFolder::openForReading(const std::string &name) const
{
    shared::Descriptor fd(::openat(m_fd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd && !isPlainFile(fd.get(), true))
        fd.reset();
    return fd;
}

bool WorkingFolder::remove(const std::string &name) const
{
    return ::unlinkat(m_fd.get(), name.c_str(), 0) == 0 || errno == ENOENT;
}

std::optional<struct stat> WorkingFolder::status(const std::string &name) const
{
    struct stat result{};
    if (::fstatat(m_fd.get(), name.c_str(), &result, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return result;
}

} // namespace tavoren::installer
