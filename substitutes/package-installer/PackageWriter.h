#pragma once

#include "package-installer/PackageInfo.h"
#include "package-installer/PayloadEntry.h"
#include "shared/Expected.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavoren::packageinstaller {

// Lays out a flat package: PackageInfo, Payload and (when there are any)
// Scripts in an outer xar archive. Entries are written as given, checked by
// nobody, so tests can build the packages the installer must refuse.
class PackageWriter
{
public:
    struct Contents
    {
        PackageInfo info;                  // payload figures are filled in
        std::vector<PayloadEntry> payload;
        std::vector<PayloadEntry> scripts; // no Scripts member when empty
    };

    // The package's bytes; else an error whose text says why. The package
    // is stamped with the newest entry time, so the same contents give the
    // same bytes.
    static shared::Expected<std::string> write(const Contents &contents);
    // Writes the package to `path` atomically (mode 0644); the same errors.
    static shared::Expected<void> writeFile(const Contents &contents, const std::string &path);
};

} // namespace tavoren::packageinstaller
