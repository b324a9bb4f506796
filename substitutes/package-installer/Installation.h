#pragma once

#include "package-installer/InstallerOutput.h"
#include "package-installer/PayloadLimits.h"
#include "shared/Expected.h"
#include "shared/SystemLog.h"

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

    // Failures of the install log go to `systemLog`.
    Installation(Options options, std::FILE *out, shared::SystemLog &systemLog, PayloadLimits limits = {});

    // The exit status: 0 installed, 1 not.
    int run();

    // "Corvane Tavoren Driver" for ".../Corvane Tavoren Driver.pkg".
    static std::string packageName(const std::string &packagePath);

private:
    struct Run; // what one installation has found and holds so far

    int install(InstallerOutput &output, InstallLog &log);
    // The steps, in this order; each fails with the reason as its error's
    // text, one sentence, printed as "The install failed. (REASON)".
    shared::Expected<void> openPackage(Run &run);
    shared::Expected<void> prepareDisk(Run &run);
    shared::Expected<void> checkPayload(Run &run);
    shared::Expected<void> waitForOthers(Run &run);
    shared::Expected<void> runPreinstall(Run &run);
    shared::Expected<void> writePayload(Run &run);
    shared::Expected<void> runPostinstall(Run &run);
    shared::Expected<void> writeReceipt(Run &run);
    void finish(Run &run);
    shared::Expected<void> runScript(Run &run, const std::string &script, const char *what);

    Options m_options;
    std::FILE *m_out;
    shared::SystemLog &m_systemLog;
    PayloadLimits m_limits;
};

} // namespace tavoren::packageinstaller
