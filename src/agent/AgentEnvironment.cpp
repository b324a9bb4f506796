#include "agent/AgentEnvironment.h"

#include "agent/AgentConstants.h"
#include "agent/CupsPrintScheduler.h"
#include "agent/LinuxClientLauncher.h"
#include "shared/SystemPath.h"

namespace tavoren::agent {

AgentEnvironment AgentEnvironment::platform(const GraphicalSession &session, std::shared_ptr<shared::SystemLog> systemLog)
{
    const auto printScheduler = [](std::chrono::milliseconds timeout) -> std::unique_ptr<PrintScheduler> {
        return std::make_unique<CupsPrintScheduler>(CupsPrintScheduler::agentServer(), timeout);
    };
    return {session, std::move(systemLog), printScheduler,
            std::make_shared<LinuxClientLauncher>(shared::SystemPath::resolve(LAUNCHER_APP_PATH))};
}

} // namespace tavoren::agent
