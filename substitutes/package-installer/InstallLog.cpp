#include "package-installer/InstallLog.h"

#include "shared/FileTree.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace tavoren::packageinstaller {

InstallLog::InstallLog(shared::SystemLog &systemLog)
    : m_systemLog(systemLog)
{
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) == 0)
        m_host = host;
    if (m_host.empty())
        m_host = "localhost";
    const std::string folder = shared::SystemPath::resolve("/var/log");
    if (auto made = shared::FileTree::makeFolders(folder, 0755, 0755); !made) {
        m_systemLog.write("installer: " + made.error().description());
        return;
    }
    const shared::Descriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd)
        m_fd.reset(::openat(folderFd.get(), "install.log", O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!m_fd)
        m_systemLog.write("installer: " + shared::Error::system("open", folder + "/install.log", errno).description());
}

std::string InstallLog::line(std::string_view message, std::int64_t time, const std::string &host, long pid)
{
    const std::time_t seconds = std::time_t(time);
    std::tm parts{};
    char stamp[64] = {};
    if (localtime_r(&seconds, &parts))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S%z", &parts);
    return std::string(stamp) + " " + host + " installer[" + std::to_string(pid) + "]: " + std::string(message);
}

void InstallLog::write(std::string_view message)
{
    if (!m_fd)
        return;
    const std::string text = line(message, std::time(nullptr), m_host, long(::getpid())) + "\n";
    // One write per line; a short write of a regular file is not retried.
    if (::write(m_fd.get(), text.data(), text.size()) < 0) {
        m_systemLog.write(
            "installer: " + shared::Error::system("write", shared::SystemPath::resolve("/var/log/install.log"), errno).description());
        m_fd.reset();
    }
}

} // namespace tavoren::packageinstaller
