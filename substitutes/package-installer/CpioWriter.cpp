#include "package-installer/CpioWriter.h"

#include "package-installer/ArchiveHandles.h"
#include "shared/Descriptor.h"
#include "shared/Error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::packageinstaller {

namespace {
using Kind = PayloadEntry::Kind;

mode_t fileType(Kind kind)
{
    switch (kind) {
    case Kind::Folder:
        return AE_IFDIR;
    case Kind::SymbolicLink:
        return AE_IFLNK;
    case Kind::Fifo:
        return AE_IFIFO;
    case Kind::CharacterDevice:
        return AE_IFCHR;
    case Kind::BlockDevice:
        return AE_IFBLK;
    case Kind::Socket:
        return AE_IFSOCK;
    default:
        return AE_IFREG;
    }
}

// The text is the whole reason, as the package builder prints it.
shared::Error failed(std::string subject, std::string reason)
{
    return shared::Error::because("archive", std::move(subject), std::move(reason));
}

shared::Error failure(archive *a, const std::string &subject, const std::string &what)
{
    const char *text = archive_error_string(a);
    return failed(subject, what + ": " + (text ? text : "unknown error"));
}

// Streams a file's content into the archive, refusing a file that is not
// what the entry announced.
shared::Expected<void> copyFile(archive *a, const PayloadEntry &entry)
{
    shared::Descriptor fd(::open(entry.contentFile.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return failed(entry.path, shared::Error::system("read", entry.contentFile).description());
    std::uint64_t written = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return failed(entry.path, shared::Error::system("read", entry.contentFile).description());
        if (got == 0)
            break;
        written += std::uint64_t(got);
        if (written > entry.size)
            break;
        if (archive_write_data(a, buffer, std::size_t(got)) != got)
            return failure(a, entry.path, "Could not write " + entry.path);
    }
    if (written != entry.size)
        return failed(entry.path, "\"" + entry.contentFile + "\" changed while it was archived");
    return {};
}
} // namespace

shared::Expected<std::string> CpioWriter::write(const std::vector<PayloadEntry> &entries)
{
    std::string bytes;
    WriteArchive a(archive_write_new());
    ArchiveEntry item(archive_entry_new());
    if (!a || !item)
        return failed("", "Out of memory");
    if (archive_write_add_filter_gzip(a.get()) != ARCHIVE_OK
        || archive_write_set_filter_option(a.get(), "gzip", "timestamp", nullptr) != ARCHIVE_OK
        || archive_write_set_format_cpio(a.get()) != ARCHIVE_OK
        || archive_write_set_bytes_per_block(a.get(), 0) != ARCHIVE_OK
        || archive_write_open(a.get(), &bytes, nullptr, appendToString, nullptr) != ARCHIVE_OK)
        return failure(a.get(), "", "Could not start the archive");

    // A hard link shares the inode number of the earlier entry it joins:
    // that is all a cpio archive records of it.
    std::set<std::string> joinedPaths;
    for (const PayloadEntry &entry : entries) {
        if (entry.kind == Kind::HardLink)
            joinedPaths.insert(entry.link);
    }
    std::map<std::string, std::int64_t> inodeOfPath;
    std::int64_t nextInode = 1;
    for (const PayloadEntry &entry : entries) {
        archive_entry_clear(item.get());
        archive_entry_set_pathname(item.get(), entry.path.c_str());
        archive_entry_set_filetype(item.get(), fileType(entry.kind));
        archive_entry_set_perm(item.get(), entry.mode & 07777);
        archive_entry_set_uid(item.get(), 0);
        archive_entry_set_gid(item.get(), 0);
        archive_entry_set_uname(item.get(), "root");
        archive_entry_set_gname(item.get(), "wheel");
        archive_entry_set_mtime(item.get(), entry.modified, 0);
        archive_entry_set_nlink(item.get(), joinedPaths.count(entry.path) ? 2 : 1);
        std::int64_t inode = nextInode++;
        std::uint64_t size = entry.kind == Kind::File ? entry.size : 0;
        if (entry.kind == Kind::SymbolicLink)
            archive_entry_set_symlink(item.get(), entry.link.c_str());
        if (entry.kind == Kind::HardLink) {
            const auto joined = inodeOfPath.find(entry.link);
            if (joined == inodeOfPath.end())
                return failed(entry.path, "A hard link can only join an earlier entry: " + entry.path);
            inode = joined->second;
            archive_entry_set_nlink(item.get(), 2);
        }
        inodeOfPath[entry.path] = inode;
        archive_entry_set_ino64(item.get(), inode);
        archive_entry_set_size(item.get(), static_cast<la_int64_t>(size));
        if (archive_write_header(a.get(), item.get()) != ARCHIVE_OK)
            return failure(a.get(), entry.path, "Could not write " + entry.path);
        if (size > 0) {
            if (!entry.contentFile.empty()) {
                if (auto copied = copyFile(a.get(), entry); !copied)
                    return copied.error();
            } else if (entry.content.size() != size
                       || archive_write_data(a.get(), entry.content.data(), entry.content.size()) != la_ssize_t(size)) {
                return failure(a.get(), entry.path, "Could not write " + entry.path);
            }
        }
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK)
        return failure(a.get(), "", "Could not end the archive");
    return bytes;
}

} // namespace tavoren::packageinstaller
