#pragma once

#include "agent/ClientLauncher.h"

#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavoren::agent {

// Clients started with posix_spawn and collected with waitpid; the clients
// an earlier image of the agent started are found in /proc.
class LinuxClientLauncher final : public ClientLauncher
{
public:
    explicit LinuxClientLauncher(std::string executable);

    const std::string &executable() const override { return m_executable; }
    shared::Expected<pid_t> launch(const std::string &jobArgument) override;
    std::size_t adoptChildren() override;
    std::size_t reapExited() override;
    std::vector<std::string> runningJobArguments() override;

private:
    const std::string m_executable;
    std::mutex m_mutex;
    std::map<pid_t, std::string> m_running;
};

} // namespace tavoren::agent
