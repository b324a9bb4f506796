#pragma once

#include <charconv>
#include <string_view>

namespace tavoren::releaseservice {

// The whole text as one decimal number of the given type, nothing more.
template<typename Number>
bool parseDecimal(std::string_view text, Number &value)
{
    const auto end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end;
}

} // namespace tavoren::releaseservice
