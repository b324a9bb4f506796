#pragma once

#include <QString>
#include <optional>

namespace tavoren::installer {

// Which version the package beside the installer offers, and which one the
// computer has installed. Versions are never compared: an installed version
// is always removed first.
class VersionDetection
{
public:
    // The text after the last "=" of the first line of the version list
    // that begins with "Corvane Tavoren Driver="; none without such a line
    // or a readable list.
    static std::optional<QString> getAvailableApplicationVersions(const QString &versionListPath);
    // "PackageVersion" of the receipt; none without a receipt or the entry.
    static std::optional<QString> getInstalledApplicationVersions(const QString &receiptPath);
};

} // namespace tavoren::installer
