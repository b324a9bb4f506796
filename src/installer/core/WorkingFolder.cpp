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

shared::Error refused(const std::string &path, const char *why)
{
    return shared::Error::because(WorkingFolder::useAction, path, why);
}
} // namespace

WorkingFolder::WorkingFolder(shared::Descriptor fd, std::string path)
    : m_fd(std::move(fd))
    , m_path(std::move(path))
{
}

shared::Expected<WorkingFolder> WorkingFolder::open(const std::string &path)
{
    struct stat entry{};
    const bool missing = ::lstat(path.c_str(), &entry) != 0 && errno == ENOENT;
    const uid_t self = ::geteuid();
    if (self == 0) {
        auto made = shared::SharedFolder::make(path, shared::SharedFolder::Options::forEveryone());
        if (!made)
            return shared::Error::because(missing ? createAction : useAction, path, made.error().description());
        return WorkingFolder(std::move(*made), path);
    }

    // Someone else may make it first; what is there then is checked below.
    const bool made = missing && ::mkdir(path.c_str(), ownMode) == 0;
    shared::Descriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        if (missing && !made)
            return shared::Error::system(createAction, path);
        return refused(path, errno == ELOOP || errno == ENOTDIR ? "it is a link or not a folder" : "it cannot be opened");
    }
    struct stat status{};
    if (::fstat(fd.get(), &status) != 0)
        return refused(path, "it cannot be examined");
    if (status.st_uid != 0 && status.st_uid != self)
        return shared::Error::because(useAction, path,
                                      "it belongs to another user (uid " + std::to_string(status.st_uid) + ")");
    // A folder of the user's own is nobody else's to write.
    if (status.st_uid == self && (status.st_mode & 07777) != ownMode && ::fchmod(fd.get(), ownMode) != 0)
        return refused(path, "its mode cannot be set");
    return WorkingFolder(std::move(fd), path);
}

shared::Expected<shared::Descriptor> WorkingFolder::openForAppend(const std::string &name) const
{
    constexpr int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        shared::Descriptor fd(::openat(m_fd.get(), name.c_str(), flags));
        if (fd && isPlainFile(fd.get(), false))
            return fd;
        if (!fd && errno == ENOENT) {
            fd = createNew(m_fd.get(), name, O_WRONLY | O_APPEND | O_NONBLOCK);
            if (fd)
                return fd;
            if (errno != EEXIST)
                return shared::Error::system("create", name);
            continue;
        }
        // Not ours, or not a file at all: replaced when the folder lets us.
        fd.reset();
        if (auto removed = remove(name); !removed)
            return removed.error();
    }
    return shared::Error::system("open", name, EAGAIN);
}

shared::Expected<shared::Descriptor> WorkingFolder::openEmpty(const std::string &name) const
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (auto removed = remove(name); !removed)
            return removed.error();
        shared::Descriptor fd = createNew(m_fd.get(), name, O_WRONLY);
        if (fd)
            return fd;
        if (errno != EEXIST)
            return shared::Error::system("create", name);
    }
    return shared::Error::system("create", name, EAGAIN);
}

shared::Expected<shared::Descriptor> WorkingFolder::openForReading(const std::string &name) const
{
    shared::Descriptor fd(::openat(m_fd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd || !isPlainFile(fd.get(), true))
        return shared::Error::system("read", name);
    return fd;
}

shared::Expected<void> WorkingFolder::remove(const std::string &name) const
{
    if (::unlinkat(m_fd.get(), name.c_str(), 0) == 0 || errno == ENOENT)
        return {};
    return shared::Error::system("remove", name);
}

std::optional<struct stat> WorkingFolder::status(const std::string &name) const
{
    struct stat result{};
    if (::fstatat(m_fd.get(), name.c_str(), &result, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return result;
}

} // namespace tavoren::installer
