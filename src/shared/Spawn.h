#pragma once

#include "shared/Expected.h"

#include <initializer_list>
#include <spawn.h>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavoren::shared {

// One posix_spawn: what the child's descriptors and signals start as, set
// up step by step and released however the start ends.
class Spawn
{
public:
    Spawn();
    ~Spawn();
    Spawn(const Spawn &) = delete;
    Spawn &operator=(const Spawn &) = delete;

    // `path` opened on `fd` in the child.
    void open(int fd, const char *path, int flags);
    // `to` a copy of `from` in the child; the same descriptor on both sides
    // keeps it open across the exec.
    void duplicate(int from, int to);
    // The child starts with no signal blocked and these at their defaults:
    // what the parent blocks or handles itself.
    void resetSignals(std::initializer_list<int> defaults);
    // The child leads a session of its own.
    void newSession();

    // Starts arguments[0] with the rest as its arguments and this process's
    // environment: the child's process id, or the spawn's code.
    Expected<pid_t> start(const std::vector<std::string> &arguments);

private:
    posix_spawn_file_actions_t m_actions{};
    posix_spawnattr_t m_attributes{};
    short m_flags = 0;
};

} // namespace tavoren::shared
