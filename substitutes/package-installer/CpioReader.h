#pragma once

#include "package-installer/ArchiveHandles.h"
#include "package-installer/PayloadEntry.h"
#include "package-installer/PayloadLimits.h"
#include "shared/Expected.h"

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>


namespace tavoren::packageinstaller {

// Reads a cpio archive (gzip-compressed or not) from an open file, from its
// start, one entry after the other. The archive is inflated here rather
// than by libarchive, so that the limits on unpacked size and expansion
// hold at every byte, inside a long name or a skipped file as well. The
// descriptor stays the caller's.
class CpioReader
{
public:
    CpioReader(int fd, const PayloadLimits &limits);
    ~CpioReader();
    CpioReader(const CpioReader &) = delete;
    CpioReader &operator=(const CpioReader &) = delete;

    enum class Step { Entry, End, Failed };
    // The next entry's header; its content is read with read() or skipped
    // by the next call.
    Step next(PayloadEntry &entry);
    // Up to `size` bytes of the current entry's content; 0 at its end, -1 on
    // failure.
    ssize_t read(char *buffer, std::size_t size);
    // Why the last step failed.
    std::string error() const;

    // Every entry's header, content skipped, but no more than one beyond the
    // limit; an error when the archive cannot be read or unpacks beyond the
    // limits, its text why ("it unpacks to more than ...").
    static shared::Expected<std::vector<PayloadEntry>> list(int fd, const PayloadLimits &limits);

private:
    struct Source; // the file and its inflation, fed to libarchive

    std::unique_ptr<Source> m_source;
    ReadArchive m_archive;
    std::string m_error;
};

} // namespace tavoren::packageinstaller
