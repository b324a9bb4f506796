#include "package-installer/CpioReader.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tavoren::packageinstaller {

namespace {
using Kind = PayloadEntry::Kind;

Kind kindOf(archive_entry *item)
{
    if (archive_entry_hardlink(item))
        return Kind::HardLink;
    switch (archive_entry_filetype(item)) {
    case AE_IFREG:
        return Kind::File;
    case AE_IFDIR:
        return Kind::Folder;
    case AE_IFLNK:
        return Kind::SymbolicLink;
    case AE_IFIFO:
        return Kind::Fifo;
    case AE_IFCHR:
        return Kind::CharacterDevice;
    case AE_IFBLK:
        return Kind::BlockDevice;
    case AE_IFSOCK:
        return Kind::Socket;
    default:
        return Kind::Other;
    }
}
} // namespace

CpioReader::CpioReader(int fd)
    : m_archive(archive_read_new())
{
    if (!m_archive) {
        m_error = "out of memory";
        return;
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        m_error = std::strerror(errno);
        archive_read_free(m_archive);
        m_archive = nullptr;
        return;
    }
    archive_read_support_filter_gzip(m_archive);
    archive_read_support_format_cpio(m_archive);
    if (archive_read_open_fd(m_archive, fd, 65536) != ARCHIVE_OK) {
        m_error = error();
        archive_read_free(m_archive);
        m_archive = nullptr;
    }
}

CpioReader::~CpioReader()
{
    if (m_archive)
        archive_read_free(m_archive);
}

std::string CpioReader::error() const
{
    if (!m_error.empty() || !m_archive)
        return m_error.empty() ? std::string("the archive could not be opened") : m_error;
    const char *text = archive_error_string(m_archive);
    return text ? text : "unknown error";
}

CpioReader::Step CpioReader::next(PayloadEntry &entry)
{
    if (!m_archive)
        return Step::Failed;
    archive_entry *item = nullptr;
    const int status = archive_read_next_header(m_archive, &item);
    if (status == ARCHIVE_EOF)
        return Step::End;
    if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
        return Step::Failed;
    const char *path = archive_entry_pathname(item);
    if (!path) {
        m_error = "an entry has no readable path";
        return Step::Failed;
    }
    entry = PayloadEntry{};
    entry.path = path;
    entry.kind = kindOf(item);
    entry.mode = archive_entry_perm(item) & 07777;
    if (entry.kind == Kind::HardLink)
        entry.link = archive_entry_hardlink(item);
    else if (const char *target = archive_entry_symlink(item))
        entry.link = target;
    const la_int64_t size = archive_entry_size(item);
    entry.size = entry.kind == Kind::File && size > 0 ? std::uint64_t(size) : 0;
    entry.modified = archive_entry_mtime(item);
    return Step::Entry;
}

ssize_t CpioReader::read(char *buffer, std::size_t size)
{
    if (!m_archive)
        return -1;
    const la_ssize_t got = archive_read_data(m_archive, buffer, size);
    return got < 0 ? -1 : ssize_t(got);
}

std::optional<std::vector<PayloadEntry>> CpioReader::list(int fd, const PayloadLimits &limits, std::string &error)
{
    CpioReader reader(fd);
    std::vector<PayloadEntry> entries;
    for (;;) {
        PayloadEntry entry;
        switch (reader.next(entry)) {
        case Step::End:
            return entries;
        case Step::Failed:
            error = reader.error();
            return std::nullopt;
        case Step::Entry:
            entries.push_back(std::move(entry));
            // One beyond the limit is enough for the checks to refuse it.
            if (entries.size() > limits.maximumEntries)
                return entries;
            break;
        }
    }
}

} // namespace tavoren::packageinstaller
