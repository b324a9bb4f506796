#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tavoren::packageinstaller {

class InstallLog;

// The lines the installer prints, each flushed at once and each (but the
// percentages) copied to the install log. With -verboseR: "installer:PHASE:",
// "installer:STATUS:" and "installer:%" lines; with -verbose the phases as
// "installer: " lines only; without either, only the messages.
class InstallerOutput
{
public:
    enum class Verbosity { Quiet, Phases, Progress };

    InstallerOutput(Verbosity verbosity, std::FILE *out, InstallLog *log);

    void message(std::string_view text);
    void phase(std::string_view text);
    void status(std::string_view text);
    // Printed with "%f"; never below the last one, never above 100.
    void percent(double value);

private:
    void print(const std::string &line, bool logged);

    Verbosity m_verbosity;
    std::FILE *m_out;
    InstallLog *m_log;
    double m_percent = 0;
};

} // namespace tavoren::packageinstaller
