#pragma once

#include "agent/PrintScheduler.h"
#include "cups/SchedulerConnection.h"

#include <chrono>
#include <string>

namespace tavoren::agent {

// The system's print scheduler through its client library (see
// cups::SchedulerConnection), asked as the agent's user. Use it on one
// thread.
class CupsPrintScheduler final : public PrintScheduler
{
public:
    // Below TAVOREN_ROOT only the root's scheduler socket, never the
    // machine's own scheduler; otherwise the library's default server (its
    // environment, client.conf, the local socket).
    static std::string agentServer();

    // `server` is a host name or the path of a local socket.
    CupsPrintScheduler(std::string server, std::chrono::milliseconds timeout);

    std::string description() const override;
    shared::Expected<std::vector<Job>> unfinishedJobs(const std::string &queue, const std::string &user) override;
    shared::Expected<void> release(const std::string &queue, const std::string &user, int jobId) override;

private:
    cups::SchedulerConnection m_connection;
};

} // namespace tavoren::agent
