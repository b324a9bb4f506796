#pragma once

#include "shared/Expected.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tavoren::packageinstaller {

// The PackageInfo member of a package: a `pkg-info` element naming the
// package, with its payload size and its scripts.
struct PackageInfo
{
    std::string identifier;
    std::string version;
    std::string installLocation = "/";
    std::string formatVersion = "2";
    std::string auth = "root";
    std::uint64_t numberOfFiles = 0;
    std::uint64_t installKBytes = 0;
    std::string preinstall;  // "./preinstall" when the package has one
    std::string postinstall; // "./postinstall" when the package has one

    // Reads the XML; an error when it is not a pkg-info document with an
    // identifier and a version, its text the end of a sentence ("its
    // PackageInfo names no identifier ...").
    static shared::Expected<PackageInfo> fromXml(std::string_view xml);
    // Attributes left empty are left out.
    std::string toXml() const;

    // Whether an identifier can name receipt files: letters, digits, ".",
    // "-" and "_", not starting with a dot, at most 200 characters.
    static bool isUsableIdentifier(std::string_view identifier);
};

} // namespace tavoren::packageinstaller
