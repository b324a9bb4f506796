#include "installer/core/VersionDetection.h"

#include "installer/core/KYGlobalConstants.h"
#include "shared/BoundedFile.h"
#include "shared/PropertyList.h"

namespace tavoren::installer {

namespace {
// Both files are a few lines; anything far larger is not theirs.
constexpr qint64 maxFileSize = 1024 * 1024;
} // namespace

std::optional<QString> VersionDetection::getAvailableApplicationVersions(const QString &versionListPath)
{
    const auto file = shared::BoundedFile::read(versionListPath, maxFileSize);
    if (file.state != shared::BoundedFile::State::Read)
        return std::nullopt;
    const QStringList lines = QString::fromUtf8(file.bytes).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(KYGlobalConstants::versionLinePrefix))
            return line.mid(line.lastIndexOf(QLatin1Char('=')) + 1);
    }
    return std::nullopt;
}

std::optional<QString> VersionDetection::getInstalledApplicationVersions(const QString &receiptPath)
{
    const auto file = shared::BoundedFile::read(receiptPath, maxFileSize);
    if (file.state != shared::BoundedFile::State::Read)
        return std::nullopt;
    const auto receipt = shared::PropertyList::fromBytes(file.bytes);
    if (!receipt)
        return std::nullopt;
    return receipt->string(KYGlobalConstants::receiptVersionKey);
}

} // namespace tavoren::installer
