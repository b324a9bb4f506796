#include "shared/FileTree.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::shared {

namespace {
std::string parentOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string lastComponentOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

std::optional<std::vector<std::string>> FileTree::names(int folderFd)
{
    const int own = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return std::nullopt;
    DIR *dir = ::fdopendir(own);
    if (!dir) {
        const int error = errno;
        ::close(own);
        errno = error;
        return std::nullopt;
    }
    ::rewinddir(dir);
    std::vector<std::string> result;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            result.push_back(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        errno = error;
        return std::nullopt;
    }
    return result;
}

std::optional<FileError> FileTree::removeAt(int folderFd, const std::string &name, const std::string &shownPath)
{
    struct stat status{};
    if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return FileError{"remove", shownPath, errno};
    if (S_ISDIR(status.st_mode)) {
        const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return FileError{"remove", shownPath, errno};
        const auto inner = names(fd);
        if (!inner) {
            const int error = errno;
            ::close(fd);
            return FileError{"list", shownPath, error};
        }
        for (const std::string &innerName : *inner) {
            if (auto failure = removeAt(fd, innerName, shownPath + "/" + innerName)) {
                ::close(fd);
                return failure;
            }
        }
        ::close(fd);
        if (::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) != 0)
            return FileError{"remove", shownPath, errno};
        return std::nullopt;
    }
    if (::unlinkat(folderFd, name.c_str(), 0) != 0)
        return FileError{"remove", shownPath, errno};
    return std::nullopt;
}

std::optional<FileError> FileTree::remove(const std::string &path)
{
    const std::string name = lastComponentOf(path);
    if (name.empty() || name == "." || name == "..")
        return FileError{"remove", path, EINVAL};
    const int parent = ::open(parentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return FileError{"remove", path, errno};
    auto failure = removeAt(parent, name, path);
    ::close(parent);
    return failure;
}

int FileTree::openRealFolder(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOTDIR) {
        // O_DIRECTORY is checked first on Linux: tell a link apart.
        struct stat status{};
        if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode))
            errno = ELOOP;
        else
            errno = ENOTDIR;
    }
    return fd;
}

std::optional<FileError> FileTree::makeFolders(const std::string &path, unsigned mode, unsigned intermediateMode)
{
    struct stat status{};
    if (::stat(path.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode) ? std::nullopt : std::optional<FileError>(FileError{"create", path, ENOTDIR});
    const std::string parent = parentOf(path);
    if (parent != path && parent != "/" && parent != ".") {
        if (auto failure = makeFolders(parent, intermediateMode, intermediateMode))
            return failure;
    }
    if (::mkdir(path.c_str(), mode) != 0) {
        if (errno == EEXIST && ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            return std::nullopt;
        return FileError{"create", path, errno};
    }
    // mkdir applies the umask; the mode asked for is meant as given.
    if (::chmod(path.c_str(), mode) != 0)
        return FileError{"create", path, errno};
    return std::nullopt;
}

} // namespace tavoren::shared
