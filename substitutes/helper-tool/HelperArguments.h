#pragma once

#include "shared/Expected.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace tavoren::helpertool {

// The command line of com.kyr.InstallerHelperTool:
//   --bless
//   --daemon --authorised-uid N [--ready-fd K]
struct HelperArguments
{
    enum class Mode { Bless, Daemon };

    Mode mode = Mode::Bless;
    uid_t authorisedUid = 0;
    int readyFd = -1;

    // `arguments` without the program name; anything else is refused, the
    // text saying what was wrong.
    static shared::Expected<HelperArguments> parse(const std::vector<std::string> &arguments);
    static std::string usage();
};

} // namespace tavoren::helpertool
