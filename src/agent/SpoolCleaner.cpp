#include "agent/SpoolCleaner.h"

#include "agent/AgentConstants.h"
#include "shared/FileTree.h"
#include "shared/JobArgument.h"
#include "shared/PathName.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::agent {

namespace {
std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}
} // namespace

SpoolCleaner::SpoolCleaner(std::string spoolRoot)
    : m_root(std::move(spoolRoot))
{
}

std::optional<std::string> SpoolCleaner::jobFolderName(const std::string &jobArgument)
{
    const std::string path = shared::JobArgument::spooledFile(jobArgument);
    if (path.empty())
        return std::nullopt;
    const std::string file = withoutTrailingSlashes(path);
    // A file without a folder, or right below the root, is in no job folder.
    if (shared::PathName::lastComponent(file) == file)
        return std::string();
    const std::string folder = withoutTrailingSlashes(shared::PathName::parent(file));
    return folder == "/" ? std::string() : shared::PathName::lastComponent(folder);
}

shared::Expected<void> SpoolCleaner::run(const std::set<std::string> &keptNames)
{
    m_removed = 0;
    const std::time_t now = std::time(nullptr);
    // Never through a link: what the root is must be the folder removed from.
    auto opened = shared::FileTree::openRealFolder(m_root);
    if (!opened) {
        // No spool root yet (no job was ever spooled): nothing to clean.
        const int error = opened.error().code;
        if (error != ENOENT)
            return shared::Error::system("list", m_root, error == ELOOP ? ENOTDIR : error);
        return {};
    }
    const shared::Descriptor rootFd = std::move(*opened);
    const int root = rootFd.get();
    const auto names = shared::FileTree::names(root, m_root);
    if (!names)
        return names.error();
    const uid_t self = ::geteuid();
    for (const std::string &name : *names) {
        if (name == ".DS_Store" || keptNames.count(name) != 0)
            continue;
        const std::string path = m_root + "/" + name;
        struct stat status{};
        if (::fstatat(root, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            return shared::Error::system("list", path);
        // Another user's job; their own agent sweeps it.
        if (status.st_uid != self)
            continue;
        // The folder's mtime, not its ctime: the backend's rename inside it
        // sets the mtime last before it tells the agent, and unlike ctime
        // it can be set back, so an old folder can be made to test with.
        if (S_ISDIR(status.st_mode) && now - status.st_mtim.tv_sec < JOB_FOLDER_GRACE_SECONDS)
            continue;
        // A plain file or a link is no job folder: listing it fails, as
        // listing a file does, and the pass ends there.
        const shared::Descriptor folder(::openat(root, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder)
            return shared::Error::system("list", path, errno == ELOOP ? ENOTDIR : errno);
        // Swapped since the look above: not ours to empty.
        struct stat folderStatus{};
        if (::fstat(folder.get(), &folderStatus) != 0 || folderStatus.st_uid != self)
            continue;
        const auto inner = shared::FileTree::names(folder.get(), path);
        if (!inner)
            return inner.error();
        for (const std::string &innerName : *inner) {
            if (auto removed = shared::FileTree::removeAt(folder.get(), innerName, path + "/" + innerName); !removed)
                return removed.error();
        }
        if (::unlinkat(root, name.c_str(), AT_REMOVEDIR) != 0)
            return shared::Error::system("remove", path);
        ++m_removed;
    }
    return {};
}

} // namespace tavoren::agent
