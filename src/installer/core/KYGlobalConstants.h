#pragma once

#include <QLatin1String>
#include <cstdint>

namespace tavoren::installer {

// The installer's names and paths. Absolute system paths are kept verbatim
// and resolved through shared::SystemPath where they are used; the command
// lines sent to the helper tool carry them verbatim, and the helper and the
// package installer resolve them on their side.
struct KYGlobalConstants
{
    // The installer's working folder, shared by every user.
    static constexpr const char *workingFolder = "/var/tmp/kyr";
    static constexpr const char *logFileName = "CorvaneTavoren.log";
    static constexpr const char *captureFileName = "kyr_install.log";
    static constexpr const char *progressMessageFileName = "CorvaneTavoren_ProgressMessage.log";
    // installProgressLog
    static constexpr const char *installProgressLog = "/var/tmp/kyr/CorvaneTavoren_ProgressMessage.log";
    static constexpr std::uint64_t logFileSizeLimit = 10485760;

    static constexpr const char *systemInstallLog = "/var/log/install.log";
    static constexpr const char *systemVersionPlist = "/System/Library/CoreServices/SystemVersion.plist";
    static constexpr const char *osRelease = "/etc/os-release";

    // The driver package beside the installer's bundle, and its version list.
    static constexpr QLatin1String pkgName{"/OSX/Corvane Tavoren Driver.pkg"};
    static constexpr QLatin1String versionListName{"/OSX/macver.list"};
    static constexpr QLatin1String versionLinePrefix{"Corvane Tavoren Driver="};

    static constexpr const char *receipt = "/var/db/receipts/com.Corvane.TavorenInstaller.plist";
    static constexpr QLatin1String receiptVersionKey{"PackageVersion"};
    static constexpr const char *uninstallScript = "/Library/Printers/CorvaneTavoren/Uninstall.sh";
    static constexpr const char *adminFile = "/Library/Preferences/CorvaneTavorenAdmin.plist";

    // The privileged helper tool.
    static constexpr QLatin1String helperLabel{"com.kyr.InstallerHelperTool"};
    static constexpr const char *blessedHelper = "/Library/PrivilegedHelperTools/com.kyr.InstallerHelperTool";
    // Where the bundle carries helper tools, by label.
    static constexpr QLatin1String helperToolsInBundle{"/Contents/Library/LaunchServices/"};
    static constexpr const char *helperSocket = "/var/run/com.kyr.HelperTool.xpc";
    static constexpr const char *pkexec = "/usr/bin/pkexec";
    static constexpr int helperRequestLimit = 64 * 1024;

    // What the helper tool is asked to run.
    static constexpr const char *packageInstaller = "/usr/sbin/installer";
    static constexpr const char *shell = "/bin/sh";
    static constexpr const char *plistBuddy = "/usr/libexec/PlistBuddy";

    // Request and reply members.
    static constexpr QLatin1String commandKey{"command_to_be_execute"};
    static constexpr QLatin1String progressFileKey{"installerlog_file_path"};
    static constexpr QLatin1String replyKey{"reply"};
    static constexpr QLatin1String outcomeKey{"outcome"};
    static constexpr QLatin1String statusKey{"status"};

    static constexpr QLatin1String installationDone{"Installation_Done"};
};

} // namespace tavoren::installer
