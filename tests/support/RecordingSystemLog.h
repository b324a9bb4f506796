#pragma once

#include "shared/SystemLog.h"

#include <QStringList>
#include <memory>
#include <mutex>

namespace tavoren::testsupport {

// Records what is written to the system log handed to the code under test.
class RecordingSystemLog
{
public:
    RecordingSystemLog();
    QStringList messages() const;
    // The log itself, to hand to what writes to it.
    std::shared_ptr<shared::SystemLog> systemLog() const;
    int count(const QString &message) const;

private:
    class Sink;
    std::shared_ptr<Sink> m_sink;
};

} // namespace tavoren::testsupport
