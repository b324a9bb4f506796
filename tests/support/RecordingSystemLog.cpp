#include "support/RecordingSystemLog.h"

namespace tavoren::testsupport {

class RecordingSystemLog::Sink final : public shared::SystemLog
{
public:
    void write(std::string_view message) override
    {
        std::lock_guard lock(mutex);
        messages.append(QString::fromUtf8(message.data(), qsizetype(message.size())));
    }
    mutable std::mutex mutex;
    QStringList messages;
};

RecordingSystemLog::RecordingSystemLog()
    : m_sink(std::make_shared<Sink>())
{
}

std::shared_ptr<shared::SystemLog> RecordingSystemLog::systemLog() const
{
    return m_sink;
}

QStringList RecordingSystemLog::messages() const
{
    std::lock_guard lock(m_sink->mutex);
    return m_sink->messages;
}

int RecordingSystemLog::count(const QString &message) const
{
    return int(messages().count(message));
}

} // namespace tavoren::testsupport
