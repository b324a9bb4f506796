#pragma once

#include "shared/SystemLog.h"

#include <QStringList>
#include <mutex>

namespace tavoren::testsupport {

// The system log as tests hand it in: what was written, in order, from any
// thread.
class MemorySystemLog final : public shared::SystemLog
{
public:
    void write(std::string_view message) override;
    QStringList messages() const;
    int count(const QString &message) const;
    void clear();

private:
    mutable std::mutex m_mutex;
    QStringList m_messages;
};

} // namespace tavoren::testsupport
