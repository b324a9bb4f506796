#include "client/core/LogLevel.h"

namespace tavoren::client {

QString levelWord(LogLevel level)
{
    switch (level) {
    case LogLevel::Status:
        return QStringLiteral("Status");
    case LogLevel::Debug:
        return QStringLiteral("Debug");
    case LogLevel::Error:
        return QStringLiteral("Error");
    }
    return {};
}

} // namespace tavoren::client
