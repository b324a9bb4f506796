#include "shared/FileTree.h"

#include "shared/PathName.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::shared {


Expected<std::vector<std::string>> FileTree::names(int folderFd, const std::string &shownPath)
{
    Descriptor own(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    if (!own)
        return Error::system("list", shownPath);
    DIR *dir = ::fdopendir(own.get());
    if (!dir)
        return Error::system("list", shownPath);
    // The stream owns it now.
    (void)own.release();
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
    if (error != 0)
        return Error::system("list", shownPath, error);
    return result;
}

Expected<void> FileTree::removeAt(int folderFd, const std::string &name, const std::string &shownPath)
{
    struct stat status{};
    if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return Error::system("remove", shownPath);
    if (S_ISDIR(status.st_mode)) {
        const Descriptor folder(::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder)
            return Error::system("remove", shownPath);
        const auto inner = names(folder.get(), shownPath);
        if (!inner)
            return inner.error();
        for (const std::string &innerName : *inner) {
            if (auto removed = removeAt(folder.get(), innerName, shownPath + "/" + innerName); !removed)
                return removed;
        }
        if (::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) != 0)
            return Error::system("remove", shownPath);
        return {};
    }
    if (::unlinkat(folderFd, name.c_str(), 0) != 0)
        return Error::system("remove", shownPath);
    return {};
}

Expected<void> FileTree::remove(const std::string &path)
{
    const std::string name = PathName::lastComponent(path);
    if (name.empty() || name == "." || name == "..")
        return Error::system("remove", path, EINVAL);
    const Descriptor parent(::open(PathName::parent(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent)
        return Error::system("remove", path);
    return removeAt(parent.get(), name, path);
}

Expected<Descriptor> FileTree::openRealFolder(const std::string &path)
{
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd)
        return fd;
    int error = errno;
    if (error == ENOTDIR) {
        // O_DIRECTORY is checked first on Linux: tell a link apart.
        struct stat status{};
        if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode))
            error = ELOOP;
    }
    return Error::system("open", path, error);
}

Expected<void> FileTree::makeFolders(const std::string &path, unsigned mode, unsigned intermediateMode)
{
    struct stat status{};
    if (::stat(path.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode) ? Expected<void>() : Expected<void>(Error::system("create", path, ENOTDIR));
    const std::string parent = PathName::parent(path);
    if (parent != path && parent != "/" && parent != ".") {
        if (auto made = makeFolders(parent, intermediateMode, intermediateMode); !made)
            return made;
    }
    if (::mkdir(path.c_str(), mode) != 0) {
        if (errno == EEXIST && ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            return {};
        return Error::system("create", path);
    }
    // mkdir applies the umask; the mode asked for is meant as given.
    if (::chmod(path.c_str(), mode) != 0)
        return Error::system("create", path);
    return {};
}

} // namespace tavoren::shared
