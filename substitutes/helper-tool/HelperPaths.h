#pragma once

#include <cstddef>

namespace tavoren::helpertool {

// The helper's own limits; what it shares with the installer is in
// shared::HelperProtocol and shared::InstalledPaths.
struct HelperPaths
{
    // Longer output lines reach the progress file in pieces of this size.
    static constexpr std::size_t maximumPiece = 65536;
};

} // namespace tavoren::helpertool
