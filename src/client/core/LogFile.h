#pragma once

#include "client/core/LogLevel.h"

#include <QString>
#include <QDateTime>
#include <cstdint>

namespace tavoren::client {

// The client log file with its one backup. Lines from several processes and
// threads stay whole: each line is a single append, and rotation is
// serialised with an advisory lock on the log file.
class LogFile
{
public:
    static constexpr std::int64_t sizeLimit = 1000 * 1024;

    // Paths under the current TAVOREN_ROOT.
    static QString logFilePath();    // LOG_FILE
    static QString backupFilePath(); // BACKUP_LOG_FILE

    // Composes one line (without its line feed) as it appears in the file.
    static QString composeLine(LogLevel type, const QString &message, const QString &details,
                               const QDateTime &when);
    // The locale's long date with medium time, in the user's locale and zone.
    static QString formatTimestamp(const QDateTime &when);

    // Appends one line, rotating first when the file is over the limit.
    static void write(LogLevel type, const QString &message, const QString &details);
};

} // namespace tavoren::client
