#pragma once

#include "client/core/LogLevel.h"

#include <QString>

namespace tavoren::client {

// The client's one logging operation: one line in the shared log file.
// Never reports a failure; failures of the log itself, and the lines the
// file cannot take, go to the system log.
void Log(LogLevel type, const QString &message, const QString &details);

} // namespace tavoren::client
