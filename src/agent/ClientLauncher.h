#pragma once

#include "shared/Expected.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavoren::agent {

// Starts one client process per job and keeps track of the ones still
// running, so that exited clients are reaped and the folders of running
// jobs can be spared.
class ClientLauncher
{
public:
    explicit ClientLauncher(std::string executable);

    const std::string &executable() const { return m_executable; }

    // Starts the executable with the job argument as its only argument,
    // standard output discarded, and returns at once: the child's process id,
    // or why it could not be started (the spawn's code).
    shared::Expected<pid_t> launch(const std::string &jobArgument);

    // Takes on the processes whose parent this process is already: clients
    // an earlier image of it started before it started itself again. Their
    // ends are collected and their folders spared as any other client's.
    // Returns how many.
    std::size_t adoptChildren();

    // Collects every client that has ended; returns how many.
    std::size_t reapExited();

    // The job arguments of the clients that have not ended yet.
    std::vector<std::string> runningJobArguments();

private:
    const std::string m_executable;
    std::mutex m_mutex;
    std::map<pid_t, std::string> m_running;
};

} // namespace tavoren::agent
