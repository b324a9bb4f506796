#include "package-installer/WorkFolder.h"

#include "shared/FileTree.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <utility>
#include <vector>

namespace tavoren::packageinstaller {

shared::Expected<WorkFolder> WorkFolder::create()
{
    const std::string parent = shared::SystemPath::resolve("/var/tmp");
    if (auto made = shared::FileTree::makeFolders(parent, 01777, 0755); !made)
        return made.error();
    std::string pattern = parent + "/installer.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data()))
        return shared::Error::system("create", pattern, errno);
    // Owned from here on, so that a folder that cannot be opened goes too.
    WorkFolder folder(name.data(), shared::Descriptor());
    folder.m_fd.reset(::open(folder.m_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.m_fd)
        return shared::Error::system("open", folder.m_path, errno);
    return folder;
}

WorkFolder::WorkFolder(std::string path, shared::Descriptor fd)
    : m_path(std::move(path))
    , m_fd(std::move(fd))
{
}

WorkFolder::WorkFolder(WorkFolder &&other) noexcept
    : m_path(std::exchange(other.m_path, std::string()))
    , m_fd(std::move(other.m_fd))
{
}

WorkFolder::~WorkFolder()
{
    m_fd.reset();
    if (!m_path.empty())
        [[maybe_unused]] const auto removed = shared::FileTree::remove(m_path);
}

} // namespace tavoren::packageinstaller
