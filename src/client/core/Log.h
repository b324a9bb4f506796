#pragma once

#include "client/core/LogLevel.h"

#include <QString>

namespace tavoren::client {

// The client's one logging operation: one line in the shared log file.
// Never reports a failure; failures of the log itself go to the system log.
void Log(LogLevel type, const QString &message, const QString &details);

} // namespace tavoren::client
