#include "package-installer/WorkFolder.h"

#include "shared/FileTree.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <vector>

namespace tavoren::packageinstaller {

WorkFolder::WorkFolder()
{
    const std::string parent = shared::SystemPath::resolve("/var/tmp");
    if (auto made = shared::FileTree::makeFolders(parent, 01777, 0755); !made) {
        m_error = made.error().description();
        return;
    }
    std::string pattern = parent + "/installer.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
        m_error = shared::Error::system("create", pattern, errno).description();
        return;
    }
    m_path = name.data();
    m_fd.reset(::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!m_fd)
        m_error = shared::Error::system("open", m_path, errno).description();
}

WorkFolder::~WorkFolder()
{
    m_fd.reset();
    if (!m_path.empty())
        [[maybe_unused]] const auto removed = shared::FileTree::remove(m_path);
}

} // namespace tavoren::packageinstaller
