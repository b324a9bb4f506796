// corvanetavoren: a print-scheduler backend that hands jobs to the user's
// hand-off agent.
//   corvanetavoren                                     prints the device line
//   corvanetavoren job-id user title copies options [file]
#include "printer-backend/Backend.h"
#include "printer-backend/CupsJobScheduler.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char *argv[])
{
    using namespace tavoren::printerbackend;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    // The scheduler cancels with SIGTERM. Without the watch the default
    // action still ends the program, only the job folder may stay behind
    // for the agent's cleaning pass.
    const auto cancel = Cancellation::onSignal(SIGTERM);
    if (!cancel)
        std::fprintf(stderr, "DEBUG: Cannot watch for cancellation: %s\n", std::strerror(errno));
    // Asked only when jobs are held, and never for longer than its time-out.
    CupsJobScheduler scheduler(CupsJobScheduler::backendServer(), CupsJobScheduler::defaultTimeout());
    const Backend backend(Backend::defaultLimits(), stdout, stderr, cancel.value_or(Cancellation()), &scheduler);
    return int(backend.run(arguments, STDIN_FILENO));
}
