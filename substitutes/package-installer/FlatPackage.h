#pragma once

#include "package-installer/PayloadLimits.h"
#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <string>

namespace tavoren::packageinstaller {

// A flat package opened for installation: an outer xar archive whose
// PackageInfo is read into memory and whose Payload and Scripts members are
// copied into a private folder, so that what is checked is what is
// installed.
class FlatPackage
{
public:
    // The action of the error for a path that is no package at all:
    // missing, unreadable, not a file, not a xar archive. A xar archive that
    // is not a package that can be read is damaged: its error's action is
    // `damagedAction` and its text why, as the end of a sentence.
    static constexpr const char *notAPackageAction = "open";
    static constexpr const char *damagedAction = "read";

    std::string packageInfo;  // the PackageInfo member's bytes
    shared::Descriptor payload;
    shared::Descriptor scripts; // not valid when the package has no scripts

    // Reads `path`; the member copies go into `workFolderFd`.
    static shared::Expected<FlatPackage> open(const std::string &path, int workFolderFd, const PayloadLimits &limits);
};

} // namespace tavoren::packageinstaller
