#pragma once

#include <cstdint>
#include <string>

namespace tavoren::helpertool {

// What the build made together with this helper and fixed into it: the
// driver package it may install and the package installer it carries. Root
// runs neither unless its bytes are these.
struct BuiltArtefacts
{
    std::string packageSha256;  // lower-case hex
    std::uint64_t packageSize = 0;
    std::string installerSha256;

    // The ones of this build.
    static BuiltArtefacts ofThisBuild();
};

} // namespace tavoren::helpertool
