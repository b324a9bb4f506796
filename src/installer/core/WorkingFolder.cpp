#include "installer/core/WorkingFolder.h"

#include "shared/FolderFile.h"
#include "shared/SharedFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tavoren::installer {

namespace {
constexpr mode_t ownMode = 0755;
constexpr mode_t fileMode = 0644;
constexpr int attempts = 16;

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
    return shared::FolderFile::openForAppend(m_fd.get(), name, {.mode = fileMode,
                                                                 .owner = shared::FolderFile::Owner::Self,
                                                                 .replaceUnusable = true});
}

shared::Expected<shared::Descriptor> WorkingFolder::openEmpty(const std::string &name) const
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (auto removed = remove(name); !removed)
            return removed.error();
        auto made = shared::FolderFile::create(m_fd.get(), name, O_WRONLY, fileMode);
        if (made || made.error().code != EEXIST)
            return made;
    }
    return shared::Error::system("create", name, EAGAIN);
}

shared::Expected<shared::Descriptor> WorkingFolder::openForReading(const std::string &name) const
{
    shared::Descriptor fd(::openat(m_fd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return shared::Error::system("read", name);
    if (auto usable = shared::FolderFile::check(fd.get(), name, shared::FolderFile::Owner::SelfOrRoot); !usable)
        return shared::Error::system("read", name, usable.error().code);
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
