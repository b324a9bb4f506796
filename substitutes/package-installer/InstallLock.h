#pragma once

#include "shared/Descriptor.h"

#include <optional>
#include <string>

namespace tavoren::packageinstaller {

// One installation at a time: an exclusive flock(2) on ".installer.lock" in
// the receipts folder, held as long as the descriptor is open.
class InstallLock
{
public:
    static constexpr const char *fileName = ".installer.lock";

    // Waits until the lock is free, then holds it; none with `error` set
    // when the lock file cannot be opened.
    static std::optional<shared::Descriptor> take(int receiptsFd, const std::string &shownPath, std::string &error);
};

} // namespace tavoren::packageinstaller
