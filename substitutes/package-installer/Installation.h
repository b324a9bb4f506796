#pragma once

#include "package-installer/InstallerOutput.h"
#include "package-installer/PayloadLimits.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tavoren::packageinstaller {

class InstallLog;

// One run of the package installer: checks the package whole, waits for
// other installations, runs the preinstall script, writes the payload, runs
// the postinstall script and writes the receipt, printing its progress.
class Installation
{
public:
    struct Options
    {
        std::string packagePath; // as given
        std::string target;      // as given; resolved through SystemPath
        InstallerOutput::Verbosity verbosity = InstallerOutput::Verbosity::Quiet;
    };

    // The options of `installer -pkg PATH -target DIR [-verboseR | -verbose]`;
    // none when the command line is not that.
    static std::optional<Options> parse(const std::vector<std::string> &arguments);
    static const char *usage();

    Installation(Options options, std::FILE *out, PayloadLimits limits = {});

    // The exit status: 0 installed, 1 not.
    int run();

    // "Corvane Tavoren Driver" for ".../Corvane Tavoren Driver.pkg".
    static std::string packageName(const std::string &packagePath);

private:
    int install(InstallerOutput &output, InstallLog &log);

    Options m_options;
    std::FILE *m_out;
    PayloadLimits m_limits;
};

} // namespace tavoren::packageinstaller
