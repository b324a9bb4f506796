#pragma once

#include "shared/SystemLog.h"

#include <QStringList>
#include <mutex>

namespace tavoren::testsupport {

// A system log that keeps what is written to it, for the installer's
// environment in tests.
class MemorySystemLog final : public shared::SystemLog
{
public:
    void write(std::string_view message) override;
    QStringList messages() const;

private:
    mutable std::mutex m_mutex;
    QStringList m_messages;
};

} // namespace tavoren::testsupport
