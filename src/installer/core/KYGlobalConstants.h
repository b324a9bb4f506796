#pragma once

#include <QLatin1String>
#include <cstdint>

namespace tavoren::installer {

// What is the installer's alone: its log files, the keys of the tables it
// reads, its sizes. What it shares with the helper tool is in
// shared/HelperProtocol.h, the installed system's paths in
// shared/InstalledPaths.h. Absolute system paths are kept verbatim and
// resolved through shared::SystemPath where they are used.
struct KYGlobalConstants
{
    // In the working folder (HelperProtocol::workingFolder).
    static constexpr const char *logFileName = "CorvaneTavoren.log";
    static constexpr const char *captureFileName = "kyr_install.log";
    static constexpr std::uint64_t logFileSizeLimit = 10485760;

    // Where the system's version is read.
    static constexpr const char *systemVersionPlist = "/System/Library/CoreServices/SystemVersion.plist";
    static constexpr QLatin1String productVersionKey{"ProductVersion"};
    static constexpr const char *osRelease = "/etc/os-release";

    // The version list beside the installer's bundle, and its line.
    static constexpr QLatin1String versionListName{"/OSX/macver.list"};
    static constexpr QLatin1String versionLinePrefix{"Corvane Tavoren Driver="};
    // The receipt's entry that holds the installed version.
    static constexpr QLatin1String receiptVersionKey{"PackageVersion"};
    // The administrator file's entry the installation sets.
    static constexpr QLatin1String privateInstallKey{"IsPrivateInstall"};

    static constexpr const char *pkexec = "/usr/bin/pkexec";
};

} // namespace tavoren::installer
