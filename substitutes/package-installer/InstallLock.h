#pragma once

#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <string>

namespace tavoren::packageinstaller {

// One installation at a time: an exclusive flock(2) on ".installer.lock" in
// the receipts folder, held as long as the descriptor is open.
class InstallLock
{
public:
    static constexpr const char *fileName = ".installer.lock";

    // Waits until the lock is free, then holds it; the error (its
    // description names `shownPath`) when the lock file cannot be opened.
    static shared::Expected<shared::Descriptor> take(int receiptsFd, const std::string &shownPath);
};

} // namespace tavoren::packageinstaller
