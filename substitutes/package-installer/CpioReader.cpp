#include "package-installer/CpioReader.h"

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tavoren::packageinstaller {

namespace {
using Kind = PayloadEntry::Kind;

constexpr std::size_t blockSize = 65536;

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

// Hands libarchive the archive block by block, inflated when it starts
// like gzip, counting both sides.
struct CpioReader::Source
{
    Source(int file, const PayloadLimits &bounds) : fd(file), limits(bounds) {}
    ~Source()
    {
        if (inflating)
            inflateEnd(&stream);
    }
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;

    int fd;
    PayloadLimits limits;
    z_stream stream{};
    bool started = false;
    bool inflating = false;
    bool ended = false; // the file or the gzip stream
    std::uint64_t read = 0;     // bytes taken from the file
    std::uint64_t produced = 0; // bytes handed to libarchive
    std::string refusal;
    unsigned char packed[blockSize];
    unsigned char plain[blockSize];

    // Fills `packed` from the file: its byte count, -1 on failure.
    ssize_t readFile()
    {
        for (;;) {
            const ssize_t got = ::read(fd, packed, sizeof packed);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                refusal = std::strerror(errno);
            else
                read += std::uint64_t(got);
            return got;
        }
    }

    la_ssize_t fail(archive *a)
    {
        archive_set_error(a, EFBIG, "%s", refusal.c_str());
        return -1;
    }

    // What came out so far against what went in.
    bool withinLimits(std::uint64_t consumed)
    {
        if (auto within = limits.checkExpansion(consumed, produced, limits.maximumUnpackedBytes); !within) {
            refusal = within.error().text;
            return false;
        }
        return true;
    }

    static la_ssize_t fill(archive *a, void *data, const void **buffer)
    {
        auto &self = *static_cast<Source *>(data);
        if (self.ended)
            return 0;
        if (!self.started) {
            self.started = true;
            const ssize_t got = self.readFile();
            if (got < 0)
                return self.fail(a);
            self.inflating = got >= 2 && self.packed[0] == 0x1f && self.packed[1] == 0x8b;
            if (self.inflating) {
                // Gzip only: 15 window bits plus 16.
                if (inflateInit2(&self.stream, 15 + 16) != Z_OK) {
                    self.inflating = false;
                    self.refusal = "out of memory";
                    return self.fail(a);
                }
                self.stream.next_in = self.packed;
                self.stream.avail_in = uInt(got);
            } else {
                return self.pass(a, got, buffer);
            }
        } else if (!self.inflating) {
            const ssize_t got = self.readFile();
            if (got < 0)
                return self.fail(a);
            return self.pass(a, got, buffer);
        }
        return self.inflateBlock(a, buffer);
    }

    // An archive that is not compressed goes through as it is.
    la_ssize_t pass(archive *a, ssize_t got, const void **buffer)
    {
        if (got == 0) {
            ended = true;
            return 0;
        }
        produced += std::uint64_t(got);
        if (produced > limits.maximumUnpackedBytes) {
            refusal = "it unpacks to more than " + std::to_string(limits.maximumUnpackedBytes) + " bytes";
            return fail(a);
        }
        *buffer = packed;
        return la_ssize_t(got);
    }

    la_ssize_t inflateBlock(archive *a, const void **buffer)
    {
        for (;;) {
            if (stream.avail_in == 0) {
                const ssize_t got = readFile();
                if (got < 0)
                    return fail(a);
                if (got == 0) {
                    refusal = "its compressed stream is cut short";
                    return fail(a);
                }
                stream.next_in = packed;
                stream.avail_in = uInt(got);
            }
            stream.next_out = plain;
            stream.avail_out = sizeof plain;
            const int result = ::inflate(&stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
                refusal = "its compressed stream is damaged (" + std::string(stream.msg ? stream.msg : "unknown error") + ")";
                return fail(a);
            }
            const std::size_t out = sizeof plain - stream.avail_out;
            produced += out;
            if (!withinLimits(read - stream.avail_in))
                return fail(a);
            // What follows the stream is not part of the archive.
            if (result == Z_STREAM_END)
                ended = true;
            if (out > 0 || ended) {
                *buffer = plain;
                return la_ssize_t(out);
            }
        }
    }
};

CpioReader::CpioReader(int fd, const PayloadLimits &limits)
    : m_source(std::make_unique<Source>(fd, limits))
    , m_archive(archive_read_new())
{
    if (!m_archive) {
        m_error = "out of memory";
        return;
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        m_error = std::strerror(errno);
        m_archive.reset();
        return;
    }
    archive_read_support_format_cpio(m_archive.get());
    if (archive_read_open(m_archive.get(), m_source.get(), nullptr, &Source::fill, nullptr) != ARCHIVE_OK) {
        m_error = error();
        m_archive.reset();
    }
}

CpioReader::~CpioReader() = default;

std::string CpioReader::error() const
{
    // The source's own reason first: libarchive may word it otherwise.
    if (!m_source->refusal.empty())
        return m_source->refusal;
    if (!m_error.empty() || !m_archive)
        return m_error.empty() ? std::string("the archive could not be opened") : m_error;
    const char *text = archive_error_string(m_archive.get());
    return text ? text : "unknown error";
}

CpioReader::Step CpioReader::next(PayloadEntry &entry)
{
    if (!m_archive)
        return Step::Failed;
    archive_entry *item = nullptr;
    const int status = archive_read_next_header(m_archive.get(), &item);
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
    const la_ssize_t got = archive_read_data(m_archive.get(), buffer, size);
    return got < 0 ? -1 : ssize_t(got);
}

shared::Expected<std::vector<PayloadEntry>> CpioReader::list(int fd, const PayloadLimits &limits)
{
    CpioReader reader(fd, limits);
    std::vector<PayloadEntry> entries;
    for (;;) {
        PayloadEntry entry;
        switch (reader.next(entry)) {
        case Step::End:
            return entries;
        case Step::Failed:
            return shared::Error::because("read", "the archive", reader.error());
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
