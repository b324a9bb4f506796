#include "agent/LinuxClientLauncher.h"

#include "shared/Descriptor.h"
#include "shared/FileTree.h"
#include "shared/Spawn.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavoren::agent {

namespace {
// A job argument is at most a message long; a command line of a client
// is that and its path.
constexpr std::size_t maximumProcFileSize = 16384;

// The start of a small file of /proc; empty when it cannot be read.
std::string readProcFile(int procFd, const std::string &name)
{
    const shared::Descriptor fd(::openat(procFd, name.c_str(), O_RDONLY | O_CLOEXEC));
    std::string content;
    if (!fd)
        return content;
    char buffer[4096];
    while (content.size() < maximumProcFileSize) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        content.append(buffer, std::size_t(count));
    }
    return content;
}

// The parent process id from "pid (name) state ppid ..."; the name may
// hold blanks and parentheses.
pid_t parentOf(const std::string &stat)
{
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size())
        return -1;
    const char *start = stat.data() + close + 4; // ") S "
    pid_t parent = -1;
    std::from_chars(start, stat.data() + stat.size(), parent);
    return parent;
}

} // namespace

LinuxClientLauncher::LinuxClientLauncher(std::string executable)
    : m_executable(std::move(executable))
{
}

shared::Expected<pid_t> LinuxClientLauncher::launch(const std::string &jobArgument)
{
    reapExited();
    shared::Spawn spawn;
    // Output nobody reads goes nowhere: an unread pipe would stall a
    // chatty client and keep a descriptor per job in the agent.
    spawn.open(STDOUT_FILENO, "/dev/null", O_WRONLY);
    // What the agent blocks or handles itself; a client starts with the defaults.
    spawn.resetSignals({SIGCHLD, SIGUSR1, SIGUSR2, SIGTERM, SIGINT, SIGHUP, SIGPIPE});
    // Held across the spawn so that a reap cannot look for the child before
    // it is on the list.
    std::lock_guard lock(m_mutex);
    const auto started = spawn.start({m_executable, jobArgument});
    if (!started)
        return started.error();
    const pid_t pid = *started;
    m_running.emplace(pid, jobArgument);
    return pid;
}

std::size_t LinuxClientLauncher::adoptChildren()
{
    const auto proc = shared::FileTree::openRealFolder("/proc");
    if (!proc)
        return 0;
    const auto names = shared::FileTree::names(proc->get());
    if (!names)
        return 0;
    const pid_t self = ::getpid();
    std::lock_guard lock(m_mutex);
    std::size_t adopted = 0;
    for (const std::string &name : *names) {
        pid_t pid = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error != std::errc() || end != name.data() + name.size() || pid <= 0 || m_running.count(pid) != 0)
            continue;
        if (parentOf(readProcFile(proc->get(), name + "/stat")) != self)
            continue;
        // The arguments, each ending in a NUL: the job's is the second. An
        // ended client shows none and is collected all the same.
        const std::string commandLine = readProcFile(proc->get(), name + "/cmdline");
        const std::size_t first = commandLine.find('\0');
        std::string argument;
        if (first != std::string::npos && first + 1 < commandLine.size())
            argument = commandLine.substr(first + 1, commandLine.find('\0', first + 1) - first - 1);
        m_running.emplace(pid, std::move(argument));
        ++adopted;
    }
    return adopted;
}

std::size_t LinuxClientLauncher::reapExited()
{
    std::lock_guard lock(m_mutex);
    std::size_t reaped = 0;
    for (auto it = m_running.begin(); it != m_running.end();) {
        int status = 0;
        const pid_t result = ::waitpid(it->first, &status, WNOHANG);
        // ECHILD: someone else collected it; it is gone all the same.
        if (result == it->first || (result < 0 && errno == ECHILD)) {
            it = m_running.erase(it);
            ++reaped;
        } else {
            ++it;
        }
    }
    return reaped;
}

std::vector<std::string> LinuxClientLauncher::runningJobArguments()
{
    reapExited();
    std::lock_guard lock(m_mutex);
    std::vector<std::string> result;
    result.reserve(m_running.size());
    for (const auto &[pid, argument] : m_running)
        result.push_back(argument);
    return result;
}

} // namespace tavoren::agent
