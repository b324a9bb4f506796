#pragma once

#include "shared/Expected.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavoren::packageinstaller {

// Writes the outer xar archive of a flat package: the members as they are
// (not compressed again), owner root/wheel, mode 0644.
class XarWriter
{
public:
    struct Member
    {
        std::string name;
        std::string bytes;
    };

    // The archive's table of contents records `time` as its creation time
    // and as each member's time, so the same members and time give the
    // same bytes. The archive's bytes; else an error whose text says why it
    // could not be written.
    static shared::Expected<std::string> write(const std::vector<Member> &members, std::int64_t time);

private:
    // libarchive records the clock as the creation time; this puts `time`
    // in its place and renews the table's checksum.
    static shared::Expected<void> restamp(std::string &archive, std::int64_t time, std::size_t heapSize);
};

} // namespace tavoren::packageinstaller
