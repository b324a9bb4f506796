#pragma once

#include <QString>
#include <QStringList>

namespace tavoren::clienttest {

// One line of the client log taken apart.
struct LogEntry
{
    QString level;
    QString message;
    QString details;
};

// Reads the client log of the current TAVOREN_ROOT.
class ClientLogReader
{
public:
    static QList<LogEntry> entries();
    // Whether a line with that level, message and details is there.
    static bool contains(const QString &level, const QString &message, const QString &details);
    static int countLevel(const QString &level);
    // "level|message|details" of every line, for failure messages.
    static QString dump();
};

} // namespace tavoren::clienttest
