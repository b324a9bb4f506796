#pragma once

#include "agent/ClientLauncher.h"
#include "agent/GraphicalSession.h"
#include "agent/PrintScheduler.h"
#include "shared/SystemLog.h"

#include <chrono>
#include <functional>
#include <memory>

namespace tavoren::agent {

// Everything the agent takes from the platform, handed to it whole: the
// program's own pieces (platform()), or fakes in tests.
struct AgentEnvironment
{
    // Tells whether a client could show its window; it must outlive the agent.
    const GraphicalSession &session;
    // Shared: the release of held jobs may write after the agent is gone.
    std::shared_ptr<shared::SystemLog> systemLog;
    // A print scheduler for one thread, waiting at most `timeout` for each
    // answer: the scheduler's library keeps its state per thread.
    std::function<std::unique_ptr<PrintScheduler>(std::chrono::milliseconds timeout)> printScheduler;
    // Starts the client for each job and keeps track of the running ones.
    std::shared_ptr<ClientLauncher> launcher;

    // The system's print scheduler (CupsPrintScheduler::agentServer()) and
    // the installed client.
    static AgentEnvironment platform(const GraphicalSession &session, std::shared_ptr<shared::SystemLog> systemLog);
};

} // namespace tavoren::agent
