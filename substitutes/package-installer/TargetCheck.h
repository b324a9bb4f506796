#pragma once

#include "package-installer/CheckedEntry.h"

#include <optional>
#include <string>
#include <vector>

namespace tavoren::packageinstaller {

// The second half of the checks, against the target as it is, before
// anything is written: no entry may lie behind a link or below a file of
// the target, unless the payload lists a folder at that place. Whatever
// stands where the payload lists something of another kind is no obstacle:
// the extractor moves it out of the way without following it.
class TargetCheck
{
public:
    // `baseFd` is the folder the payload goes into, shown as `prefix` ("/"
    // or an absolute folder). None when the payload fits.
    static std::optional<std::string> check(int baseFd, const std::string &prefix, const std::vector<CheckedEntry> &entries);
};

} // namespace tavoren::packageinstaller
