#pragma once

#include "package-installer/PayloadLimits.h"
#include "shared/Descriptor.h"

#include <string>

namespace tavoren::packageinstaller {

// A flat package opened for installation: an outer xar archive whose
// PackageInfo is read into memory and whose Payload and Scripts members are
// copied into a private folder, so that what is checked is what is
// installed.
class FlatPackage
{
public:
    enum class Problem {
        None,
        NotAPackage, // missing, unreadable, not a file, not a xar archive
        Damaged      // a xar archive, but not a package that can be read
    };

    Problem problem = Problem::None;
    std::string reason;       // for Damaged: why, as the end of a sentence
    std::string packageInfo;  // the PackageInfo member's bytes
    shared::Descriptor payload;
    shared::Descriptor scripts; // not valid when the package has no scripts

    // Reads `path`; the member copies go into `workFolderFd`.
    static FlatPackage open(const std::string &path, int workFolderFd, const PayloadLimits &limits);
};

} // namespace tavoren::packageinstaller
