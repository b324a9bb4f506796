#pragma once

#include "shared/Expected.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavoren::helpertool {

// Splits a command line into words the way a shell would, without a shell:
// blanks (space, tab) separate words, a double-quoted part may hold blanks
// and single quotes, and parts next to each other join into one word.
// Anything a shell would expand or that could end a line is refused.
class CommandLine
{
public:
    // The words, or a refusal whose text is the reply's reason.
    static shared::Expected<std::vector<std::string>> split(std::string_view line);
};

} // namespace tavoren::helpertool
