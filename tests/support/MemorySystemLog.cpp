#include "support/MemorySystemLog.h"

namespace tavoren::testsupport {

void MemorySystemLog::write(std::string_view message)
{
    std::lock_guard lock(m_mutex);
    m_messages.append(QString::fromUtf8(message.data(), qsizetype(message.size())));
}

QStringList MemorySystemLog::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

int MemorySystemLog::count(const QString &message) const
{
    return int(messages().count(message));
}

void MemorySystemLog::clear()
{
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

} // namespace tavoren::testsupport
