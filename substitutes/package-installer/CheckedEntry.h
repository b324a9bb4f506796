#pragma once

#include "package-installer/PayloadEntry.h"

#include <string>
#include <vector>

namespace tavoren::packageinstaller {

// An archive entry that passed the payload checks, with its path split into
// names below the place it is installed at.
struct CheckedEntry
{
    PayloadEntry entry;             // as archived, without content
    std::vector<std::string> names; // empty for the place itself (".")
    std::vector<std::string> joins; // a hard link: the names of the file it joins
};

} // namespace tavoren::packageinstaller
