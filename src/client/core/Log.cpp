#include "client/core/Log.h"

#include "client/core/LogFile.h"

namespace tavoren::client {

void Log(shared::SystemLog &systemLog, LogLevel type, const QString &message, const QString &details)
{
    LogFile::write(systemLog, type, message, details);
}

} // namespace tavoren::client
