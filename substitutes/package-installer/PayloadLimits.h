#pragma once

#include <cstdint>

namespace tavoren::packageinstaller {

// Bounds on what a package may hold; a package beyond them is refused
// before anything is written.
struct PayloadLimits
{
    std::uint64_t maximumEntries = 200000;
    std::uint64_t maximumPathBytes = 1024;
    std::uint64_t maximumNameBytes = 255;
    std::uint64_t maximumDepth = 128;
    std::uint64_t maximumContentBytes = std::uint64_t(16) << 30;
    // The members of the outer archive.
    std::uint64_t maximumPackageInfoBytes = 1 << 20;
    std::uint64_t maximumPayloadBytes = std::uint64_t(4) << 30;
    std::uint64_t maximumScriptsBytes = 64 << 20;
};

} // namespace tavoren::packageinstaller
