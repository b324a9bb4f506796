#pragma once

#include "shared/Expected.h"

#include <cstdint>
#include <string>

namespace tavoren::packageinstaller {

// Bounds on what a package may hold; a package beyond them is refused
// before anything is written. The driver package holds 31 entries, 32 MiB
// of content packed into a 13 MiB payload: the limits leave it wide room.
struct PayloadLimits
{
    std::uint64_t maximumEntries = 200000;
    std::uint64_t maximumPathBytes = 1024;
    std::uint64_t maximumNameBytes = 255;
    std::uint64_t maximumDepth = 128;
    std::uint64_t maximumContentBytes = std::uint64_t(1) << 30;
    // A payload or scripts archive as it unpacks, content and headers.
    std::uint64_t maximumUnpackedBytes = std::uint64_t(1280) << 20;
    // While anything packed is inflated, what came out may at no point be
    // more than this many times what went in, plus the allowance, so a
    // compression bomb is refused within its first megabytes rather than
    // after inflating it whole. The driver's payload stays below 3 times.
    std::uint64_t maximumExpansion = 32;
    std::uint64_t expansionAllowance = std::uint64_t(16) << 20;
    // The outer archive: its table of contents inflated, and its members.
    std::uint64_t maximumTableBytes = 1 << 20;
    std::uint64_t maximumPackageInfoBytes = 1 << 20;
    std::uint64_t maximumPayloadBytes = std::uint64_t(512) << 20;
    std::uint64_t maximumScriptsBytes = std::uint64_t(16) << 20;

    // Success while `produced` bytes inflated so far from `consumed` packed
    // ones are within the limits, at most `ceiling` in all; else an error
    // whose text is why not.
    shared::Expected<void> checkExpansion(std::uint64_t consumed, std::uint64_t produced, std::uint64_t ceiling) const
    {
        if (produced > ceiling)
            return shared::Error::because("unpack", "", "it unpacks to more than " + std::to_string(ceiling) + " bytes");
        // Divided rather than multiplied, so nothing overflows.
        const std::uint64_t ratio = maximumExpansion > 0 ? maximumExpansion : 1;
        if (produced > expansionAllowance && (produced - expansionAllowance - 1) / ratio >= consumed)
            return shared::Error::because("unpack", "",
                                          "it unpacks to more than " + std::to_string(maximumExpansion) + " times its packed size");
        return {};
    }
};

} // namespace tavoren::packageinstaller
