#pragma once

#include "shared/Expected.h"

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavoren::agent {

// Starts one client process per job and keeps track of the ones still
// running, so that exited clients are reaped and the folders of running
// jobs can be spared. Safe to call from several threads.
class ClientLauncher
{
public:
    virtual ~ClientLauncher() = default;

    virtual const std::string &executable() const = 0;

    // Starts the executable with the job argument as its only argument,
    // standard output discarded, and returns at once: the child's process id,
    // or why it could not be started (the spawn's code).
    virtual shared::Expected<pid_t> launch(const std::string &jobArgument) = 0;

    // Takes on the processes whose parent this process is already: clients
    // an earlier image of it started before it started itself again. Their
    // ends are collected and their folders spared as any other client's.
    // Returns how many.
    virtual std::size_t adoptChildren() = 0;

    // Collects every client that has ended; returns how many.
    virtual std::size_t reapExited() = 0;

    // The job arguments of the clients that have not ended yet.
    virtual std::vector<std::string> runningJobArguments() = 0;
};

} // namespace tavoren::agent
