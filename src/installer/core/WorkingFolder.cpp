#include "installer/core/WorkingFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tavoren::installer {

namespace {
constexpr mode_t folderMode = 01777;
constexpr mode_t fileMode = 0666;

// A file the installer may write: regular, and not a second name of a file
// that lives elsewhere.
bool isPlainFile(int fd)
{
    struct stat status{};
    if (::fstat(fd, &status) != 0)
        return false;
    if (!S_ISREG(status.st_mode) || status.st_nlink != 1) {
        errno = S_ISREG(status.st_mode) ? EMLINK : EINVAL;
        return false;
    }
    return true;
}

shared::Descriptor checked(int fd)
{
    shared::Descriptor result(fd);
    if (result && !isPlainFile(result.get()))
        result.reset();
    return result;
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
    if (::lstat(path.c_str(), &entry) != 0 && errno == ENOENT) {
        *creation = ::mkdir(path.c_str(), folderMode) == 0 ? Creation::Created : Creation::Failed;
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
    const uid_t self = ::geteuid();
    if (status.st_uid != 0 && status.st_uid != self) {
        *problem = "it belongs to another user (uid " + std::to_string(status.st_uid) + ")";
        return std::nullopt;
    }
    // Writable by everyone, but nobody may remove another's files.
    if (status.st_uid == self && (status.st_mode & 07777) != folderMode && ::fchmod(fd.get(), folderMode) != 0) {
        *problem = "its mode cannot be set";
        return std::nullopt;
    }
    return WorkingFolder(std::move(fd), path);
}

shared::Descriptor WorkingFolder::openForAppend(const std::string &name) const
{
    constexpr int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    // Opening an existing file without O_CREAT also works where the kernel
    // protects files of other users in sticky folders.
    int fd = ::openat(m_fd.get(), name.c_str(), flags);
    if (fd < 0 && errno == ENOENT) {
        fd = ::openat(m_fd.get(), name.c_str(), flags | O_CREAT | O_EXCL, fileMode);
        if (fd >= 0)
            ::fchmod(fd, fileMode);
    }
    return checked(fd);
}

shared::Descriptor WorkingFolder::openEmpty(const std::string &name) const
{
    if (remove(name)) {
        const int fd = ::openat(m_fd.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode);
        if (fd >= 0)
            ::fchmod(fd, fileMode);
        return checked(fd);
    }
    shared::Descriptor fd = checked(::openat(m_fd.get(), name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd && ::ftruncate(fd.get(), 0) != 0)
        fd.reset();
    return fd;
}

shared::Descriptor WorkingFolder::openForReading(const std::string &name) const
{
    shared::Descriptor fd(::openat(m_fd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status{};
    if (fd && (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))) {
        fd.reset();
        errno = EINVAL;
    }
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
