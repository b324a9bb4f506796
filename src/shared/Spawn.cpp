#include "shared/Spawn.h"

#include <csignal>

extern char **environ;

namespace tavoren::shared {

Spawn::Spawn()
{
    ::posix_spawn_file_actions_init(&m_actions);
    ::posix_spawnattr_init(&m_attributes);
}

Spawn::~Spawn()
{
    ::posix_spawnattr_destroy(&m_attributes);
    ::posix_spawn_file_actions_destroy(&m_actions);
}

void Spawn::open(int fd, const char *path, int flags)
{
    ::posix_spawn_file_actions_addopen(&m_actions, fd, path, flags, 0);
}

void Spawn::duplicate(int from, int to)
{
    ::posix_spawn_file_actions_adddup2(&m_actions, from, to);
}

void Spawn::resetSignals(std::initializer_list<int> defaults)
{
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&m_attributes, &none);
    sigset_t reset;
    sigemptyset(&reset);
    for (const int signal : defaults)
        sigaddset(&reset, signal);
    ::posix_spawnattr_setsigdefault(&m_attributes, &reset);
    m_flags |= POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
}

void Spawn::newSession()
{
    m_flags |= POSIX_SPAWN_SETSID;
}

Expected<pid_t> Spawn::start(const std::vector<std::string> &arguments)
{
    if (arguments.empty())
        return Error::system("start", "", EINVAL);
    std::vector<char *> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    ::posix_spawnattr_setflags(&m_attributes, m_flags);
    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, argv[0], &m_actions, &m_attributes, argv.data(), environ);
    if (result != 0)
        return Error::system("start", arguments.front(), result);
    return pid;
}

} // namespace tavoren::shared
