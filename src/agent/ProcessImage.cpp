#include "agent/ProcessImage.h"

#include <cerrno>
#include <climits>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

namespace tavoren::agent {

namespace {
// How the kernel shows an executable whose file has been removed or replaced.
constexpr std::string_view deletedSuffix = " (deleted)";

std::vector<char *> pointersTo(std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string &each : strings)
        pointers.push_back(each.data());
    pointers.push_back(nullptr);
    return pointers;
}
} // namespace

ProcessImage ProcessImage::current(int argc, char *argv[])
{
    ProcessImage image;
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length < 0 || std::size_t(length) >= sizeof path) {
        image.m_readError = length < 0 ? errno : ENAMETOOLONG;
    } else {
        image.m_executable.assign(path, std::size_t(length));
        // Started from a file already replaced: its path is what counts.
        struct stat status{};
        if (image.m_executable.ends_with(deletedSuffix) && ::lstat(image.m_executable.c_str(), &status) != 0)
            image.m_executable.resize(image.m_executable.size() - deletedSuffix.size());
    }
    for (int i = 0; i < argc; ++i)
        image.m_arguments.emplace_back(argv[i]);
    for (char **variable = environ; variable && *variable; ++variable)
        image.m_environment.emplace_back(*variable);
    return image;
}

int ProcessImage::replace() const
{
    if (m_executable.empty())
        return m_readError != 0 ? m_readError : ENOENT;
    // What this image opened is no business of the next; a fresh agent
    // starts with the standard descriptors only. Best effort on old kernels.
    ::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    std::vector<std::string> arguments = m_arguments;
    std::vector<std::string> environment = m_environment;
    const std::vector<char *> argv = pointersTo(arguments);
    const std::vector<char *> envp = pointersTo(environment);
    ::execve(m_executable.c_str(), argv.data(), envp.data());
    return errno;
}

} // namespace tavoren::agent
