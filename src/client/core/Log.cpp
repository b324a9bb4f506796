#include "client/core/Log.h"

#include "client/core/LogFile.h"

namespace tavoren::client {

void Log(LogLevel type, const QString &message, const QString &details)
{
    LogFile::write(type, message, details);
}

} // namespace tavoren::client
