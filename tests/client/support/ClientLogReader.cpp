#include "client/support/ClientLogReader.h"

#include "client/core/LogFile.h"

#include <QFile>
#include <QRegularExpression>

namespace tavoren::clienttest {

QList<LogEntry> ClientLogReader::entries()
{
    QFile file(client::LogFile::logFilePath());
    QList<LogEntry> result;
    if (!file.open(QIODevice::ReadOnly))
        return result;
    // level " : " timestamp " Message: " message " " [" Details: " details]
    static const QRegularExpression line(
        QStringLiteral("^(Status|Debug|Error) : .*? Message: (.*?) (?: Details: (.*))?$"));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &text : lines) {
        const auto match = line.match(text);
        if (match.hasMatch())
            result.append({match.captured(1), match.captured(2), match.captured(3)});
    }
    return result;
}

bool ClientLogReader::contains(const QString &level, const QString &message, const QString &details)
{
    const auto all = entries();
    return std::any_of(all.cbegin(), all.cend(), [&](const LogEntry &entry) {
        return entry.level == level && entry.message == message && entry.details == details;
    });
}

int ClientLogReader::countLevel(const QString &level)
{
    const auto all = entries();
    return int(std::count_if(all.cbegin(), all.cend(), [&](const LogEntry &entry) { return entry.level == level; }));
}

QString ClientLogReader::dump()
{
    QStringList lines;
    for (const LogEntry &entry : entries())
        lines.append(entry.level + QLatin1Char('|') + entry.message + QLatin1Char('|') + entry.details);
    return lines.join(QLatin1Char('\n'));
}

} // namespace tavoren::clienttest
