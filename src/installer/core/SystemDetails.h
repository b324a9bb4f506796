#pragma once

#include <QString>
#include <QStringList>

namespace tavoren::installer {

// What the installer's log records about the computer at start.
class SystemDetails
{
public:
    struct Version
    {
        int major = 0;
        int minor = 0;
    };

    // "14" is 14.0; parts that are no number count as 0.
    static Version parse(const QString &productVersion);
    // The lines for the log, in order: version, user, language, locale name.
    static QStringList logLines(Version version, const QString &userName);
};

} // namespace tavoren::installer
