#pragma once

#include <string_view>

namespace tavoren::shared {

// The system log of the platform. Failures of the programs' own log files
// and configuration files are reported here, never to the user.
class SystemLog
{
public:
    virtual ~SystemLog() = default;
    virtual void write(std::string_view message) = 0;
};

} // namespace tavoren::shared
