#pragma once

#include <cstddef>

namespace tavoren::helpertool {

// The fixed places and limits the installer and the helper agree on. Every
// absolute path is used through SystemPath::resolve.
struct HelperPaths
{
    static constexpr const char *socket = "/var/run/com.kyr.HelperTool.xpc";
    static constexpr const char *pidFile = "/var/run/com.kyr.InstallerHelperTool.pid";
    static constexpr const char *toolFolder = "/Library/PrivilegedHelperTools";
    static constexpr const char *toolName = "com.kyr.InstallerHelperTool";
    // Root's alone (0700): the package installer blessed with the helper,
    // and the copy of each package it installs.
    static constexpr const char *supportFolder = "/Library/PrivilegedHelperTools/com.kyr.InstallerHelperTool.support";
    // The package installer carried beside the helper in the bundle, and
    // its blessed copy in the support folder.
    static constexpr const char *carriedInstaller = "installer";
    static constexpr const char *stagingName = "package";
    static constexpr const char *workingFolder = "/var/tmp/kyr";
    static constexpr const char *progressName = "CorvaneTavoren_ProgressMessage.log";
    static constexpr const char *progressFile = "/var/tmp/kyr/CorvaneTavoren_ProgressMessage.log";
    static constexpr const char *packageInstaller = "/usr/sbin/installer";
    static constexpr const char *adminFile = "/Library/Preferences/CorvaneTavorenAdmin.plist";
    static constexpr const char *uninstallScript = "/Library/Printers/CorvaneTavoren/Uninstall.sh";
    static constexpr const char *probeFolder = "/Applications/";
    static constexpr const char *medium = "/OSX/Corvane Tavoren Driver.pkg";

    // One request, its line end included.
    static constexpr std::size_t maximumRequest = 65536;
    // Longer output lines reach the progress file in pieces of this size.
    static constexpr std::size_t maximumPiece = 65536;
    // The admin file is read up to this size.
    static constexpr std::size_t maximumAdminFile = 1024 * 1024;
};

} // namespace tavoren::helpertool
