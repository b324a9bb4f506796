#pragma once

#include "package-installer/PayloadEntry.h"
#include "shared/Expected.h"

#include <string>
#include <vector>

namespace tavoren::packageinstaller {

// Writes entries as a gzip-compressed odc cpio archive, the form of a
// package's Payload and Scripts. Paths, modes and link targets are written
// exactly as given: libarchive's cpio writer sanitises nothing, which tests
// rely on to lay out refused archives. The same entries give the same bytes
// (no time in the gzip header, inode numbers counted from one).
class CpioWriter
{
public:
    // The archive's bytes; else an error whose text says why it could not
    // be written.
    static shared::Expected<std::string> write(const std::vector<PayloadEntry> &entries);
};

} // namespace tavoren::packageinstaller
