#pragma once

#include "shared/SystemLog.h"

namespace tavoren::shared {

// The Linux system log: syslog(3) at notice level, tagged with the program name.
class SyslogSystemLog final : public SystemLog
{
public:
    void write(std::string_view message) override;
};

} // namespace tavoren::shared
