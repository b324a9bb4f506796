#pragma once

#include "package-installer/PackageInfo.h"
#include "package-installer/PayloadEntry.h"

#include <cstdint>
#include <optional>
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

    // None on success, else why. The package is stamped with the newest
    // entry time, so the same contents give the same bytes.
    static std::optional<std::string> write(const Contents &contents, std::string &package);
    // Writes the package to `path` atomically (mode 0644).
    static std::optional<std::string> writeFile(const Contents &contents, const std::string &path);
};

} // namespace tavoren::packageinstaller
