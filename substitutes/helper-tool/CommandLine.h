#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tavoren::helpertool {

// Splits a command line into words the way a shell would, without a shell:
// blanks (space, tab) separate words, a double-quoted part may hold blanks
// and single quotes, and parts next to each other join into one word.
// Anything a shell would expand or that could end a line is refused.
class CommandLine
{
public:
    struct Refusal
    {
        std::string reason;
    };

    static std::variant<std::vector<std::string>, Refusal> split(std::string_view line);
};

} // namespace tavoren::helpertool
