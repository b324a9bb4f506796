#pragma once

#include "shared/HandOff.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavoren::shared {

// The client's one argument, as the backend composes it and the agent hands
// it on: document name, ":: ::", spooled file path. Bytes in, bytes out: the
// separator is ASCII, so splitting UTF-8 here splits the same characters as
// splitting the decoded text would.
class JobArgument
{
public:
    static constexpr std::string_view separator = HandOff::jobArgumentSeparator;

    static std::string compose(std::string_view documentName, std::string_view spooledFile);
    // Split at every separator; piece 0 is the name, piece 1 the path. One
    // piece when there is no separator, never none.
    static std::vector<std::string> pieces(std::string_view argument);
    // Piece 1, empty when the argument has no separator.
    static std::string spooledFile(std::string_view argument);
    // The text after the last "." of a document name, empty if none.
    static std::string extension(std::string_view documentName);
};

} // namespace tavoren::shared
