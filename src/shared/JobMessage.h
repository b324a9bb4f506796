#pragma once

#include <string>
#include <string_view>

namespace tavoren::shared {

// One message from the printer backend: UTF-8 text, normally ended by a NUL,
// whose part before the first "|| ||" is the job argument.
class JobMessage
{
public:
    // The job argument of the bytes read from one connection.
    static std::string jobArgument(std::string_view bytes);

    // The bytes as UTF-8 with every ill-formed sequence replaced by U+FFFD,
    // one replacement per maximal ill-formed subpart.
    static std::string repairedUtf8(std::string_view bytes);
};

} // namespace tavoren::shared
