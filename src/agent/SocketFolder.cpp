#include "agent/SocketFolder.h"

#include "agent/AgentConstants.h"
#include "shared/FileTree.h"
#include "shared/SystemLog.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::agent {

SocketFolder::SocketFolder(std::string rootPath, std::string userName, shared::SystemLog &log)
    : m_log(log)
    , m_rootPath(std::move(rootPath))
    , m_userName(std::move(userName))
    , m_folderPath(m_rootPath + "/" + m_userName)
{
}

std::string SocketFolder::socketPath() const
{
    return m_folderPath + "/" + SOCKET_FILE;
}

bool SocketFolder::refuse(const std::string &reason)
{
    m_log.write(reason);
    return false;
}

bool SocketFolder::checkRoot()
{
    const std::string quoted = "The socket root \"" + m_rootPath + "\"";
    auto opened = shared::FileTree::openRealFolder(m_rootPath);
    if (opened)
        m_root = std::move(*opened);
    if (!m_root) {
        switch (opened.error().code) {
        case ENOENT:
            return refuse(quoted + " is missing; the driver package makes it");
        case ELOOP:
            return refuse(quoted + " is a symbolic link");
        case ENOTDIR:
            return refuse(quoted + " is not a folder");
        default:
            return refuse(opened.error().description());
        }
    }
    struct stat status{};
    if (::fstat(m_root.get(), &status) != 0)
        return refuse(shared::Error::system("open", m_rootPath).description());
    // Only root's sticky folder keeps one user from removing or replacing
    // another's entry.
    if (status.st_uid != 0)
        return refuse(quoted + " is not owned by root");
    if ((status.st_mode & S_ISVTX) == 0)
        return refuse(quoted + " does not have the sticky bit");
    return true;
}

bool SocketFolder::prepare()
{
    if (!checkRoot())
        return false;
    const uid_t self = ::geteuid();
    const std::string notOwn = "Socket folder is not the user's own: " + m_folderPath;

    // What an earlier run left goes; what another user put there (a folder,
    // a link, anything) is theirs and is never touched.
    struct stat entry{};
    if (::fstatat(m_root.get(), m_userName.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
        // Nothing left by an earlier run is nothing to say.
        const int error = errno;
        if (error != ENOENT) {
            m_log.write(shared::Error::system("remove", m_folderPath, error).description());
            return false;
        }
    } else if (entry.st_uid != self) {
        return refuse(notOwn);
    } else if (auto removed = shared::FileTree::removeAt(m_root.get(), m_userName, m_folderPath); !removed) {
        return refuse(removed.error().description());
    }

    if (::mkdirat(m_root.get(), m_userName.c_str(), 0700) != 0)
        return refuse(shared::Error::system("create", m_folderPath).description());
    m_folder.reset(::openat(m_root.get(), m_userName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat folder{};
    if (!m_folder || ::fstat(m_folder.get(), &folder) != 0 || !S_ISDIR(folder.st_mode) || folder.st_uid != self)
        return refuse(notOwn);
    // mkdir applies the umask; private is meant exactly.
    if (::fchmod(m_folder.get(), 0700) != 0)
        return refuse(shared::Error::system("create", m_folderPath).description());
    // The bind goes by path: the path must still lead to this folder.
    struct stat byPath{};
    if (::lstat(m_folderPath.c_str(), &byPath) != 0 || byPath.st_dev != folder.st_dev || byPath.st_ino != folder.st_ino)
        return refuse(notOwn);
    return true;
}

bool SocketFolder::makeSocketPrivate()
{
    const std::string socket = socketPath();
    // The root backend still connects: root is not held back by the mode.
    if (::fchmodat(m_folder.get(), SOCKET_FILE, 0600, 0) != 0)
        return refuse(shared::Error::system("protect", socket).description());
    struct stat status{};
    if (::fstatat(m_folder.get(), SOCKET_FILE, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return refuse(shared::Error::system("protect", socket).description());
    if (!S_ISSOCK(status.st_mode) || status.st_uid != ::geteuid())
        return refuse("Socket is not the user's own: " + socket);
    return true;
}

void SocketFolder::removeSocket()
{
    if (m_folder && ::unlinkat(m_folder.get(), SOCKET_FILE, 0) != 0)
        m_log.write(shared::Error::system("remove", socketPath()).description());
}

} // namespace tavoren::agent
