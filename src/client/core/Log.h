#pragma once

#include "client/core/LogLevel.h"

#include <QString>

namespace tavoren::shared {
class SystemLog;
}

namespace tavoren::client {

// The client's one logging operation: one line in the shared log file.
// Never reports a failure; failures of the log itself, and the lines the
// file cannot take, go to the system log handed in.
void Log(shared::SystemLog &systemLog, LogLevel type, const QString &message, const QString &details);

} // namespace tavoren::client
