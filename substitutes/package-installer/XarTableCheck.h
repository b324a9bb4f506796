#pragma once

#include "package-installer/PayloadLimits.h"
#include "shared/Expected.h"

#include <string>

namespace tavoren::packageinstaller {

// The outer archive's header and table of contents, checked before
// libarchive reads them: libarchive keeps every member the table names in
// memory, so a table with millions of members would take gigabytes. The
// table is inflated here first, within a small limit whatever the header
// declares, and must be the size the header declares.
class XarTableCheck
{
public:
    static constexpr std::size_t headerSize = 28;

    // `fd` is the package, read with pread. Success when libarchive may read
    // it; else an error whose text is why not, as the end of a sentence
    // ("its table of contents ...").
    static shared::Expected<void> check(int fd, const PayloadLimits &limits);
};

} // namespace tavoren::packageinstaller
