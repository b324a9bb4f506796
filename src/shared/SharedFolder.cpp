#include "shared/SharedFolder.h"

#include "shared/FileTree.h"
#include "shared/PathName.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavoren::shared {

namespace {
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::vector<std::string> components(const std::string &path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Only root can change what is in it: root's, and not writable by others
// unless sticky, where nobody may replace what is not theirs.
bool onlyRootChanges(const struct stat &status)
{
    return status.st_uid == 0 && ((status.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (status.st_mode & S_ISVTX) != 0);
}

// A link in a folder only root changes, made by root: followed like a
// folder of the system (/var/run is one).
bool isRootsLink(int folderFd, const std::string &name)
{
    struct stat folder{};
    struct stat link{};
    return ::fstat(folderFd, &folder) == 0 && onlyRootChanges(folder)
           && ::fstatat(folderFd, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode)
           && link.st_uid == 0;
}
} // namespace

SharedFolder::Options SharedFolder::Options::forEveryone(uid_t owner)
{
    Options options;
    options.alsoAccepted = owner;
    return options;
}

SharedFolder::Options SharedFolder::Options::forRootAlone()
{
    Options options;
    options.mode = 0700;
    return options;
}

Expected<Descriptor> SharedFolder::openTrusted(const std::string &path, bool create, mode_t mode, const std::string &trustedRoot)
{
    if (path.empty() || path.front() != '/')
        return Error::system("open", path, EINVAL);
    std::string top = trustedRoot.empty() ? SystemPath::root() : trustedRoot;
    while (!top.empty() && top.back() == '/')
        top.pop_back();
    if (!top.empty() && path.compare(0, top.size() + 1, top + "/") != 0 && path != top)
        top.clear();
    Descriptor current(::open(top.empty() ? "/" : top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!current)
        return Error::system("open", top.empty() ? "/" : top);
    std::string reached = top;
    for (const std::string &part : components(path.substr(top.size()))) {
        if (part == "." || part == "..")
            return Error::system("open", path, EINVAL);
        reached += "/" + part;
        Descriptor next(::openat(current.get(), part.c_str(), folderFlags));
        if (!next && errno == ENOENT && create) {
            if (::mkdirat(current.get(), part.c_str(), 0700) != 0 && errno != EEXIST)
                return Error::system("create", reached);
            next.reset(::openat(current.get(), part.c_str(), folderFlags));
            struct stat made{};
            if (next && ::fstat(next.get(), &made) == 0 && made.st_uid == 0 && (made.st_mode & 07777) == 0700
                && ::fchmod(next.get(), mode) != 0)
                return Error::system("create", reached);
        }
        if (!next && (errno == ELOOP || errno == ENOTDIR) && isRootsLink(current.get(), part))
            next.reset(::openat(current.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!next)
            return Error::system("open", reached);
        struct stat status{};
        if (::fstat(next.get(), &status) != 0)
            return Error::system("examine", reached);
        if (!onlyRootChanges(status))
            return Error::because("use", reached, "it is not root's or others may change it");
        current = std::move(next);
    }
    return current;
}

Expected<Descriptor> SharedFolder::make(const std::string &path, const Options &options)
{
    if (::geteuid() != 0)
        return Error::system("make the shared folder", path, EPERM);
    // The whole path as its last component: no folder to make it in.
    const std::string name = PathName::lastComponent(path);
    if (name == path || name.empty() || name == "." || name == "..")
        return Error::system("make the shared folder", path, EINVAL);
    auto parent = openTrusted(PathName::parent(path), true, options.parentMode, options.trustedRoot);
    if (!parent)
        return parent.error();
    const int parentFd = parent->get();

    for (int attempt = 0; attempt < options.attempts; ++attempt) {
        Descriptor folder(::openat(parentFd, name.c_str(), folderFlags));
        if (folder) {
            struct stat status{};
            if (::fstat(folder.get(), &status) != 0)
                return Error::system("examine", path);
            if (status.st_uid == 0) {
                if ((status.st_mode & 07777) != options.mode && ::fchmod(folder.get(), options.mode) != 0)
                    return Error::system("set the mode of", path);
                if (status.st_gid != 0 && ::fchown(folder.get(), 0, 0) != 0)
                    return Error::system("set the owner of", path);
                return folder;
            }
            if (options.alsoAccepted != 0 && status.st_uid == options.alsoAccepted)
                return folder;
            // Another user's folder: what he put in it is his, the place is
            // not. Moved aside first, so a tree too deep to remove cannot
            // hold the place.
            folder.reset();
            const std::string aside = "." + name + ".removed." + std::to_string(::getpid()) + "." + std::to_string(attempt);
            if (::renameat2(parentFd, name.c_str(), parentFd, aside.c_str(), RENAME_NOREPLACE) != 0) {
                if (errno == ENOENT || errno == EEXIST)
                    continue;
                return Error::system("move aside what is in the place of", path);
            }
            // A tree too deep to remove stays aside; the place is ours either way.
            [[maybe_unused]] const auto removed = FileTree::removeAt(parentFd, aside, path);
            continue;
        }
        if (errno == ELOOP || errno == ENOTDIR) {
            // A link or anything else that is no folder goes, never what it points to.
            // Swapped for a folder meanwhile: the next round sees it.
            if (::unlinkat(parentFd, name.c_str(), 0) != 0 && errno != ENOENT && errno != EISDIR)
                return Error::system("remove what is in the place of", path);
            continue;
        }
        if (errno != ENOENT)
            return Error::system("open", path);
        // Private until it is root's with its mode.
        if (::mkdirat(parentFd, name.c_str(), 0700) != 0 && errno != EEXIST)
            return Error::system("create", path);
    }
    return Error::because("make", path, "something else keeps being put in its place");
}

} // namespace tavoren::shared
