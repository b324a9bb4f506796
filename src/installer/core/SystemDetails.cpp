#include "installer/core/SystemDetails.h"

#include "installer/core/KYGlobalConstants.h"
#include "shared/BoundedFile.h"
#include "shared/PropertyList.h"
#include "shared/SystemPath.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tavoren::installer {

namespace {
constexpr qint64 maxFileSize = 64 * 1024;

QString systemFile(const char *path)
{
    return QString::fromStdString(shared::SystemPath::resolve(path));
}

QString osReleaseVersion()
{
    auto file = shared::BoundedFile::read(systemFile(KYGlobalConstants::osRelease), maxFileSize);
    // A root without one still runs on this machine's system.
    if (file.state == shared::BoundedFile::State::Absent)
        file = shared::BoundedFile::read(QString::fromLatin1(KYGlobalConstants::osRelease), maxFileSize);
    if (file.state != shared::BoundedFile::State::Read)
        return {};
    for (const QByteArray &line : file.bytes.split('\n')) {
        if (!line.startsWith("VERSION_ID="))
            continue;
        QByteArray value = line.mid(11).trimmed();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return QString::fromUtf8(value);
    }
    return {};
}
} // namespace

QString SystemDetails::productVersion()
{
    const auto file = shared::BoundedFile::read(systemFile(KYGlobalConstants::systemVersionPlist), maxFileSize);
    if (file.state == shared::BoundedFile::State::Read) {
        if (const auto plist = shared::PropertyList::fromBytes(file.bytes)) {
            if (const auto version = plist->string(QStringLiteral("ProductVersion")))
                return *version;
        }
    }
    return osReleaseVersion();
}

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
