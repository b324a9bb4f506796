#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <string>

namespace tavoren::packageinstaller {

// libarchive's objects, owned and freed the way each kind was made.
struct ArchiveReadFree
{
    void operator()(archive *a) const { archive_read_free(a); }
};
struct ArchiveWriteFree
{
    void operator()(archive *a) const { archive_write_free(a); }
};
struct ArchiveEntryFree
{
    void operator()(archive_entry *e) const { archive_entry_free(e); }
};
using ReadArchive = std::unique_ptr<archive, ArchiveReadFree>;
// Made by archive_write_new or archive_write_disk_new.
using WriteArchive = std::unique_ptr<archive, ArchiveWriteFree>;
using ArchiveEntry = std::unique_ptr<archive_entry, ArchiveEntryFree>;

// A write callback that appends what is written to the std::string given
// as client data, for archives built in memory.
inline la_ssize_t appendToString(archive *, void *target, const void *buffer, size_t length)
{
    static_cast<std::string *>(target)->append(static_cast<const char *>(buffer), length);
    return static_cast<la_ssize_t>(length);
}

} // namespace tavoren::packageinstaller
