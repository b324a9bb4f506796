#pragma once

#include <cstddef>
#include <string_view>

namespace tavoren::shared {

// How deep a property list nests, told from its bytes before the property
// list library sees them: the library reads any depth, but frees, copies and
// writes a tree by recursion, so a list nested deeply enough overflows the
// stack of whoever handles it.
class PlistDepth
{
public:
    // Far beyond any list of ours (an admin file nests three deep).
    static constexpr std::size_t defaultLimit = 32;

    // Whether the XML or binary property list in `bytes` nests no deeper
    // than `limit`. XML counts every element, comments and character data
    // aside; binary counts containers, and a binary list whose structure
    // cannot be followed (a loop, a reference out of range) does not pass.
    static bool within(std::string_view bytes, std::size_t limit = defaultLimit);

private:
    static bool xmlWithin(std::string_view bytes, std::size_t limit);
    static bool binaryWithin(std::string_view bytes, std::size_t limit);
};

} // namespace tavoren::shared
