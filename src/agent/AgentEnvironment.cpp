#include "agent/AgentEnvironment.h"

#include "agent/CupsPrintScheduler.h"

namespace tavoren::agent {

AgentEnvironment AgentEnvironment::platform(const GraphicalSession &session, std::shared_ptr<shared::SystemLog> systemLog)
{
    return {session, std::move(systemLog), [](std::chrono::milliseconds timeout) -> std::unique_ptr<PrintScheduler> {
                return std::make_unique<CupsPrintScheduler>(CupsPrintScheduler::agentServer(), timeout);
            }};
}

} // namespace tavoren::agent
