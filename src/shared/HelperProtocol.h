#pragma once

#include <cstddef>

namespace tavoren::shared {

// What the installer and its privileged helper tool agree on: where the
// helper is and listens, one request per connection (a JSON object of text
// members and a line end, at most maximumRequest bytes), one reply line, the
// commands it runs and the progress file it writes. Absolute paths are used
// through SystemPath::resolve; the command lines carry them verbatim.
struct HelperProtocol
{
    static constexpr const char *label = "com.kyr.InstallerHelperTool";
    static constexpr const char *toolFolder = "/Library/PrivilegedHelperTools";
    static constexpr const char *blessedTool = "/Library/PrivilegedHelperTools/com.kyr.InstallerHelperTool";
    // Root's alone (0700): the package installer blessed with the helper,
    // and the copy of each package it installs.
    static constexpr const char *supportFolder = "/Library/PrivilegedHelperTools/com.kyr.InstallerHelperTool.support";
    // The package installer carried beside the helper in the bundle, and
    // its blessed copy in the support folder.
    static constexpr const char *carriedInstaller = "installer";
    static constexpr const char *stagingName = "package";
    // Where the bundle carries helper tools, by label.
    static constexpr const char *toolsInBundle = "/Contents/Library/LaunchServices/";
    static constexpr const char *socket = "/var/run/com.kyr.HelperTool.xpc";
    static constexpr const char *pidFile = "/var/run/com.kyr.InstallerHelperTool.pid";

    // Request members.
    static constexpr const char *commandMember = "command_to_be_execute";
    static constexpr const char *progressMember = "installerlog_file_path";
    // Reply members; "outcome" is one of the three below, "status" (a
    // completed command's exit status) comes with "completed" only.
    static constexpr const char *replyMember = "reply";
    static constexpr const char *outcomeMember = "outcome";
    static constexpr const char *statusMember = "status";
    static constexpr const char *completed = "completed";
    static constexpr const char *refused = "refused";
    static constexpr const char *failed = "failed";

    // One request, its line end included.
    static constexpr std::size_t maximumRequest = 65536;

    // The installer's working folder, and the progress file the helper
    // writes there: the package installer's lines as they come, then a
    // line beginning with installationDone and its exit status.
    static constexpr const char *workingFolder = "/var/tmp/kyr";
    static constexpr const char *progressName = "CorvaneTavoren_ProgressMessage.log";
    static constexpr const char *progressFile = "/var/tmp/kyr/CorvaneTavoren_ProgressMessage.log";
    static constexpr const char *installationDone = "Installation_Done";

    // What the commands name.
    static constexpr const char *probeFolder = "/Applications/";
    static constexpr const char *shell = "/bin/sh";
    static constexpr const char *packageInstaller = "/usr/sbin/installer";
    static constexpr const char *plistBuddy = "/usr/libexec/PlistBuddy";
    // The driver package below a medium's folder.
    static constexpr const char *mediumPackage = "/OSX/Corvane Tavoren Driver.pkg";
    // The uninstall script's argument the helper adds: a removal it is
    // asked for is always before an installation over it.
    static constexpr const char *upgradeArgument = "--upgrade";
};

} // namespace tavoren::shared
