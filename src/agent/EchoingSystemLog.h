#pragma once

#include "shared/SystemLog.h"

#include <memory>

namespace tavoren::agent {

// Writes every line to the system log and, prefixed with "log: ", to
// standard error, for watching the agent from a terminal or a test.
class EchoingSystemLog final : public shared::SystemLog
{
public:
    explicit EchoingSystemLog(std::shared_ptr<shared::SystemLog> systemLog);
    void write(std::string_view message) override;

private:
    std::shared_ptr<shared::SystemLog> m_systemLog;
};

} // namespace tavoren::agent
