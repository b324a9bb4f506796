#pragma once

namespace tavoren::shared {

// Where the driver package and the package installer put what every
// program reads. Absolute paths are used through SystemPath::resolve.
struct InstalledPaths
{
    static constexpr const char *printersFolder = "/Library/Printers/CorvaneTavoren";
    static constexpr const char *uninstallScript = "/Library/Printers/CorvaneTavoren/Uninstall.sh";
    static constexpr const char *agent = "/Library/Printers/CorvaneTavoren/CorvaneTavorenAgent";
    // The administrator's file, written by the installation, read by the
    // client, the helper tool and the printer backend.
    static constexpr const char *adminFile = "/Library/Preferences/CorvaneTavorenAdmin.plist";
    // The package installer's receipt of the driver package.
    static constexpr const char *receiptsFolder = "/var/db/receipts";
    static constexpr const char *packageIdentifier = "com.Corvane.TavorenInstaller";
    static constexpr const char *receipt = "/var/db/receipts/com.Corvane.TavorenInstaller.plist";
    static constexpr const char *systemInstallLog = "/var/log/install.log";
};

} // namespace tavoren::shared
