#include "package-installer/InstallerOutput.h"

#include "package-installer/InstallLog.h"

#include <algorithm>

namespace tavoren::packageinstaller {

InstallerOutput::InstallerOutput(Verbosity verbosity, std::FILE *out, InstallLog *log)
    : m_verbosity(verbosity)
    , m_out(out)
    , m_log(log)
{
}

void InstallerOutput::print(const std::string &line, bool logged)
{
    std::fputs(line.c_str(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
    if (logged && m_log)
        m_log->write(line);
}

void InstallerOutput::message(std::string_view text)
{
    print("installer: " + std::string(text), true);
}

void InstallerOutput::phase(std::string_view text)
{
    if (m_verbosity == Verbosity::Progress)
        print("installer:PHASE:" + std::string(text), true);
    else if (m_verbosity == Verbosity::Phases)
        print("installer: " + std::string(text), true);
}

void InstallerOutput::status(std::string_view text)
{
    if (m_verbosity == Verbosity::Progress)
        print("installer:STATUS:" + std::string(text), true);
}

void InstallerOutput::percent(double value)
{
    m_percent = std::clamp(value, m_percent, 100.0);
    if (m_verbosity != Verbosity::Progress)
        return;
    char text[64];
    std::snprintf(text, sizeof text, "installer:%%%f", m_percent);
    print(text, false);
}

} // namespace tavoren::packageinstaller
