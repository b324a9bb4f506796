#pragma once

#include "shared/Expected.h"

#include <functional>
#include <string>
#include <string_view>

namespace tavoren::packageinstaller {

// Runs one package script as `SCRIPT PACKAGE_PATH TARGET TARGET` in its own
// folder, with the inherited environment plus PACKAGE_PATH, DSTROOT,
// DSTVOLUME and INSTALLER_TEMP, input from /dev/null, and hands each line
// of its output (standard output and error together) to a sink as it comes.
class ScriptRunner
{
public:
    struct Call
    {
        std::string script;          // its path
        std::string name;            // "preinstall", for the reason
        std::string packagePath;
        std::string target;          // the resolved target
        std::string temporaryFolder; // INSTALLER_TEMP
    };
    using LineSink = std::function<void(std::string_view line)>;

    // Lines longer than this are handed on in pieces.
    static constexpr std::size_t longestLine = 64 * 1024;

    // Success when the script ran and exited 0; else an error whose text is
    // the reason, one sentence ("The preinstall script failed with ...").
    static shared::Expected<void> run(const Call &call, const LineSink &sink);
};

} // namespace tavoren::packageinstaller
