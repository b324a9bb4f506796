#include "installer/core/SystemDetails.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tavoren::installer {

SystemDetails::Version SystemDetails::parse(const QString &productVersion)
{
    const QStringList parts = productVersion.split(QLatin1Char('.'));
    Version version;
    version.major = parts.value(0).toInt();
    version.minor = parts.value(1).toInt();
    return version;
}

QStringList SystemDetails::logLines(Version version, const QString &userName)
{
    const icu::Locale locale = icu::Locale::getDefault();
    icu::UnicodeString displayName;
    locale.getDisplayName(locale, displayName);
    return {
        QStringLiteral("MacOS Version: %1.%2").arg(version.major).arg(version.minor),
        QStringLiteral("Current Logged in User: %1").arg(userName),
        QStringLiteral("System Language: %1").arg(QString::fromUtf8(locale.getName())),
        QStringLiteral("System Locale Identifier: %1")
            .arg(QString(reinterpret_cast<const QChar *>(displayName.getBuffer()), displayName.length())),
    };
}

} // namespace tavoren::installer
