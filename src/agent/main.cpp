// CorvaneTavorenAgent: hands every printed job to a client of its own.
//   CorvaneTavorenAgent [--echo-log]
// --echo-log copies the system log lines to standard error ("log: ...").
// SIGUSR1 runs a cleaning pass now; SIGHUP starts the agent again from its
// installed file, in place; SIGTERM ends the agent.
#include "agent/AgentEnvironment.h"
#include "agent/AppDelegate.h"
#include "agent/EchoingSystemLog.h"
#include "agent/LinuxGraphicalSession.h"
#include "agent/ProcessImage.h"
#include "agent/RunLoop.h"
#include "shared/SyslogSystemLog.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <syslog.h>

int main(int argc, char *argv[])
{
    using namespace tavoren;
    // Before anything else: an upgrade may replace the file while the agent
    // runs, and the kernel then names it "... (deleted)".
    static const agent::ProcessImage image = agent::ProcessImage::current(argc, argv);
    bool echo = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--echo-log") == 0) {
            echo = true;
        } else {
            std::fprintf(stderr, "usage: CorvaneTavorenAgent [--echo-log]\n");
            return 2;
        }
    }
    ::openlog("CorvaneTavorenAgent", LOG_PID, LOG_USER);
    std::shared_ptr<shared::SystemLog> systemLog = std::make_shared<shared::SyslogSystemLog>();
    if (echo)
        systemLog = std::make_shared<agent::EchoingSystemLog>(systemLog);

    // The print scheduler's library writes without MSG_NOSIGNAL: a scheduler
    // that goes away mid-request must not end the agent. Clients start with
    // the default again.
    std::signal(SIGPIPE, SIG_IGN);
    agent::RunLoop::blockSignals();
    static const agent::LinuxGraphicalSession session;
    static agent::AppDelegate delegate(agent::AgentEnvironment::platform(session, systemLog));
    delegate.applicationDidFinishLaunching();
    agent::RunLoop::run(agent::AppDelegate::cleaningInterval,
                        {[] { delegate.removeAllFilesRecursivelyExcept(); }, [] { delegate.reapClients(); },
                         [] { delegate.startAgain(image); }});
}
