#include "installer/core/FileSystemVersionSource.h"

#include "installer/core/KYGlobalConstants.h"
#include "shared/BoundedFile.h"
#include "shared/PropertyList.h"
#include "shared/SystemPath.h"

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

QString FileSystemVersionSource::productVersion() const
{
    const auto file = shared::BoundedFile::read(systemFile(KYGlobalConstants::systemVersionPlist), maxFileSize);
    if (file.state == shared::BoundedFile::State::Read) {
        if (const auto plist = shared::PropertyList::fromBytes(file.bytes)) {
            if (const auto version = plist->string(KYGlobalConstants::productVersionKey))
                return *version;
        }
    }
    return osReleaseVersion();
}

} // namespace tavoren::installer
