#pragma once

#include "package-installer/CheckedEntry.h"
#include "shared/Expected.h"

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
    // or an absolute folder). Success when the payload fits; else an error
    // whose text is the refusal, one sentence.
    static shared::Expected<void> check(int baseFd, const std::string &prefix, const std::vector<CheckedEntry> &entries);
};

} // namespace tavoren::packageinstaller
