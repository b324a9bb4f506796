#pragma once

#include <memory>
#include <string_view>

namespace tavoren::shared {

// The system log of the platform. Failures of the programs' own log files
// and configuration files are reported here, never to the user.
class SystemLog
{
public:
    virtual ~SystemLog() = default;
    virtual void write(std::string_view message) = 0;

    // The process-wide instance; syslog(3) unless a test installed another.
    static SystemLog &instance();
    // Installs a replacement (tests); nullptr restores the platform log.
    static void setInstance(std::shared_ptr<SystemLog> log);
};

} // namespace tavoren::shared
