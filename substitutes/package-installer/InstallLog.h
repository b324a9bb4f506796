#pragma once

#include "shared/Descriptor.h"
#include "shared/SystemLog.h"

#include <string>
#include <string_view>

namespace tavoren::packageinstaller {

// The system install log, resolve("/var/log/install.log"): one dated line
// per message, "YYYY-MM-DD HH:MM:SS+ZZZZ HOST installer[PID]: MESSAGE",
// appended with one write each so concurrent writers do not mix lines.
class InstallLog
{
public:
    // Opens the log, making its folder (mode 0755) when missing. A log that
    // cannot be opened is reported to `systemLog`, and messages are lost.
    explicit InstallLog(shared::SystemLog &systemLog);

    void write(std::string_view message);
    // The dated line for `message` at `time`, without its line end.
    static std::string line(std::string_view message, std::int64_t time, const std::string &host, long pid);

private:
    shared::SystemLog &m_systemLog;
    shared::Descriptor m_fd;
    std::string m_host;
};

} // namespace tavoren::packageinstaller
