#pragma once

#include "client/core/LogLevel.h"

#include <QString>
#include <QDateTime>
#include <cstdint>

namespace tavoren::shared {
class SystemLog;
}

namespace tavoren::client {

// The client log file with its one backup, shared by every user of the
// computer in a sticky folder that anyone may write. Lines from several
// processes and threads stay whole: each line is a single append, and
// rotation is serialised with an advisory lock on the log file.
//
// Another user may own the log or its backup, or plant a link, a FIFO or a
// hard link in their place. The files are therefore reached relative to the
// folder opened without following links, written only when they are regular
// files with one name, and rotation copies the log into the backup and
// empties it in place: it never renames or removes, which the sticky bit
// forbids on another user's files. A line that cannot go into the file goes
// to the system log.
class LogFile
{
public:
    static constexpr std::int64_t sizeLimit = 1000 * 1024;
    // A log larger than this (only someone writing past the rotation makes
    // it so) leaves just its newest whole lines within it in the backup.
    static constexpr std::int64_t backupLimit = 2 * sizeLimit;
    // The longest a line waits for the lock another process holds.
    static constexpr int lockWaitMilliseconds = 1000;

    // Paths under the current TAVOREN_ROOT.
    static QString logFilePath();    // LOG_FILE
    static QString backupFilePath(); // BACKUP_LOG_FILE

    // Composes one line (without its line feed) as it appears in the file;
    // the message and the details are escaped.
    static QString composeLine(LogLevel type, const QString &message, const QString &details,
                               const QDateTime &when);
    // The locale's long date with medium time, in the user's locale and zone.
    static QString formatTimestamp(const QDateTime &when);
    // Control characters (C0, DEL, C1, the Unicode line and paragraph
    // separators) in a visible, reversible form ("\n", "\r", "\t", "\x1b",
    // "\u2028"), and "\" as "\\", so that no logged text can start a line.
    static QString escapeControls(const QString &text);

    // Appends one line, rotating first when the file is over the limit;
    // failures and the lines the file cannot take go to `systemLog`.
    static void write(shared::SystemLog &systemLog, LogLevel type, const QString &message, const QString &details);
};

} // namespace tavoren::client
