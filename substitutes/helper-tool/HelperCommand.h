#pragma once

#include "helper-tool/HelperRequest.h"

#include <string>

namespace tavoren::helpertool {

// One of the four commands the helper runs, recognised by its exact words.
struct HelperCommand
{
    enum class Kind {
        Probe,        // ls /Applications/
        Removal,      // /bin/sh <uninstall script>
        Installation, // /usr/sbin/installer -pkg P -target / -verboseR
        AdminWrite,   // PlistBuddy -c "Set :IsPrivateInstall YES|NO" <admin file>
    };

    Kind kind = Kind::Probe;
    std::string packagePath;     // Installation: the medium's package, as given
    bool privateInstall = false; // AdminWrite

    // The command, or the refusal whose text is the reason.
    static shared::Expected<HelperCommand> classify(const HelperRequest &request);

    // Whether `path` names the driver package of a medium: absolute, no
    // empty, "." or ".." component, ending in the medium's package name.
    static bool isMediumPackage(const std::string &path);
};

} // namespace tavoren::helpertool
