#pragma once

#include <QString>

namespace tavoren::client {

// The level word that starts each line of the client log.
enum class LogLevel { Status = 0, Debug = 1, Error = 2 };

QString levelWord(LogLevel level);

} // namespace tavoren::client
