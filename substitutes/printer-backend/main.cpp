// corvanetavoren: a print-scheduler backend that hands jobs to the user's
// hand-off agent.
//   corvanetavoren                                     prints the device line
//   corvanetavoren job-id user title copies options [file]
#include "printer-backend/Backend.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    using namespace tavoren::printerbackend;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const Backend backend(Backend::defaultLimits(), stdout, stderr);
    return int(backend.run(arguments, STDIN_FILENO));
}
