#pragma once

#include "shared/Expected.h"

#include "release-service/Call.h"
#include "release-service/Fault.h"
#include "release-service/ReleaseService.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavoren::releaseservice {

// The options of the tavoren-release-service program.
class CommandLine
{
public:
    ReleaseService::Options options;
    std::string portFile;
    std::vector<std::pair<Call, Fault>> faults;
    bool help = false;
    bool quiet = false; // no line per request

    // `arguments` without the program name.
    static shared::Expected<CommandLine> parse(const std::vector<std::string> &arguments);
    static std::string usage();
};

} // namespace tavoren::releaseservice
