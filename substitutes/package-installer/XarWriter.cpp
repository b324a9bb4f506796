#include "package-installer/XarWriter.h"

#include "package-installer/ArchiveHandles.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QtEndian>

#include <ctime>
#include <memory>

namespace tavoren::packageinstaller {

namespace {

// The text is the whole reason, as the package builder prints it.
shared::Error failed(std::string reason)
{
    return shared::Error::because("write", "the package", std::move(reason));
}

shared::Error failure(archive *a, const std::string &what)
{
    const char *text = archive_error_string(a);
    return failed(what + ": " + (text ? text : "unknown error"));
}

// The header: magic, header size, version, compressed and plain table
// sizes, checksum algorithm; all big-endian.
constexpr std::size_t headerSize = 28;
constexpr std::uint32_t sha1Algorithm = 1;
constexpr std::size_t sha1Size = 20;
} // namespace

shared::Expected<std::string> XarWriter::write(const std::vector<Member> &members, std::int64_t time)
{
    std::string bytes;
    WriteArchive a(archive_write_new());
    ArchiveEntry item(archive_entry_new());
    if (!a || !item)
        return failed("Out of memory");
    if (archive_write_set_format_xar(a.get()) != ARCHIVE_OK
        || archive_write_set_format_option(a.get(), "xar", "compression", "none") != ARCHIVE_OK
        || archive_write_set_format_option(a.get(), "xar", "toc-checksum", "sha1") != ARCHIVE_OK
        || archive_write_set_bytes_per_block(a.get(), 0) != ARCHIVE_OK
        || archive_write_open(a.get(), &bytes, nullptr, appendToString, nullptr) != ARCHIVE_OK)
        return failure(a.get(), "Could not start the package");
    for (const Member &member : members) {
        archive_entry_clear(item.get());
        archive_entry_set_pathname(item.get(), member.name.c_str());
        archive_entry_set_filetype(item.get(), AE_IFREG);
        archive_entry_set_perm(item.get(), 0644);
        archive_entry_set_uid(item.get(), 0);
        archive_entry_set_gid(item.get(), 0);
        archive_entry_set_uname(item.get(), "root");
        archive_entry_set_gname(item.get(), "wheel");
        archive_entry_set_mtime(item.get(), time, 0);
        archive_entry_set_size(item.get(), la_int64_t(member.bytes.size()));
        if (archive_write_header(a.get(), item.get()) != ARCHIVE_OK)
            return failure(a.get(), "Could not add " + member.name);
        if (!member.bytes.empty()
            && archive_write_data(a.get(), member.bytes.data(), member.bytes.size()) != la_ssize_t(member.bytes.size()))
            return failure(a.get(), "Could not add " + member.name);
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK)
        return failure(a.get(), "Could not end the package");
    // The heap: the table's checksum, then the members one after another.
    std::size_t heapSize = sha1Size;
    for (const Member &member : members)
        heapSize += member.bytes.size();
    if (auto restamped = restamp(bytes, time, heapSize); !restamped)
        return restamped.error();
    return bytes;
}

shared::Expected<void> XarWriter::restamp(std::string &bytes, std::int64_t time, std::size_t heapSize)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    if (bytes.size() < headerSize || bytes.compare(0, 4, "xar!") != 0)
        return failed("The package's table of contents is missing");
    const std::size_t tableStart = qFromBigEndian<quint16>(data + 4);
    const quint64 packed = qFromBigEndian<quint64>(data + 8);
    const quint64 plain = qFromBigEndian<quint64>(data + 16);
    if (tableStart != headerSize || qFromBigEndian<quint32>(data + 24) != sha1Algorithm || plain > 0x7fffffff
        || packed > bytes.size() - tableStart || bytes.size() - tableStart - packed < sha1Size)
        return failed("The package's table of contents is not as expected");

    // qUncompress takes the plain size in front of the zlib stream.
    QByteArray packedTable(4, '\0');
    qToBigEndian<quint32>(quint32(plain), packedTable.data());
    packedTable.append(bytes.data() + tableStart, qsizetype(packed));
    QByteArray table = qUncompress(packedTable);
    const QByteArray open = "<creation-time>";
    const QByteArray close = "</creation-time>";
    const qsizetype from = table.indexOf(open);
    const qsizetype to = from < 0 ? -1 : table.indexOf(close, from);
    if (to < 0 || table.indexOf("<checksum style=\"sha1\">") < 0 || table.indexOf("<offset>0</offset>") < 0)
        return failed("The package's table of contents is not as expected");
    char stamp[32];
    const std::time_t seconds = std::time_t(time);
    std::tm parts{};
    if (!gmtime_r(&seconds, &parts) || std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &parts) == 0)
        return failed("The package time cannot be written");
    table.replace(from + open.size(), to - from - open.size(), stamp);

    const QByteArray repacked = qCompress(table, 9).mid(4);
    // The heap starts with the table's checksum; members follow at their
    // recorded offsets from the heap's start, so they stay in place. What
    // libarchive leaves after them depends on the clock and is dropped.
    if (bytes.size() - tableStart - packed < heapSize)
        return failed("The package's members are cut short");
    std::string heap = bytes.substr(tableStart + packed, heapSize);
    const QByteArray checksum = QCryptographicHash::hash(repacked, QCryptographicHash::Sha1);
    heap.replace(0, sha1Size, checksum.constData(), sha1Size);

    std::string header = bytes.substr(0, headerSize);
    qToBigEndian<quint64>(quint64(repacked.size()), header.data() + 8);
    qToBigEndian<quint64>(quint64(table.size()), header.data() + 16);
    bytes = header + std::string(repacked.constData(), std::size_t(repacked.size())) + heap;
    return {};
}

} // namespace tavoren::packageinstaller
