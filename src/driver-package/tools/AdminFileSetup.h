#pragma once

#include "shared/Expected.h"

#include <string>
#include <vector>

namespace tavoren::driverpackage {

// The administrator's file as an installation leaves it: made from the
// package's defaults when there is none; kept as the administrator set it
// otherwise, only the keys new in this version added. An upgrade thus keeps
// every value an administrator chose.
class AdminFileSetup
{
public:
    struct Outcome
    {
        enum class Kind { Made, Kept, Replaced };
        Kind kind = Kind::Made;
        std::vector<std::string> added; // Kept: the new keys
        std::string reason;             // Replaced: why the old file could not be kept
    };

    // `target` is the installation's "/" (trusted as given); `defaults` the
    // package's file of defaults. A file that cannot be read as a property
    // list is kept beside as "CorvaneTavorenAdmin.plist.old" and replaced.
    static shared::Expected<Outcome> install(const std::string &target, const std::string &defaults);

    // One line for the install log.
    static std::string describe(const Outcome &outcome);
};

} // namespace tavoren::driverpackage
