#include "HostilePackage.h"

#include "package-installer/CpioWriter.h"
#include "package-installer/PackageInfo.h"

#include <QCryptographicHash>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace tavoren::testsupport {

namespace {
constexpr std::size_t mebibyte = std::size_t(1) << 20;
// odc headers carry sizes in 11 octal digits: below 8 GiB per file.
constexpr std::uint64_t largestFile = std::uint64_t(4) << 30;

void appendBigEndian(std::string &out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out += char((value >> (8 * i)) & 0xff);
}

void appendLittleEndian(std::string &out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xff);
}

// A raw deflate stream fed in pieces, each ended with a full flush: after
// one the compressor starts afresh, so a megabyte of zeros deflates to the
// same block every time and the block can be repeated.
class Deflater
{
public:
    Deflater() { m_ok = deflateInit2(&m_stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    void add(std::string_view bytes)
    {
        m_body += deflated(bytes, Z_FULL_FLUSH);
        m_crc = crc32(m_crc, reinterpret_cast<const Bytef *>(bytes.data()), uInt(bytes.size()));
        m_adler = adler32(m_adler, reinterpret_cast<const Bytef *>(bytes.data()), uInt(bytes.size()));
        m_size += bytes.size();
    }

    void addZeros(std::uint64_t count)
    {
        static const std::string zeros(mebibyte, '\0');
        for (; count >= mebibyte; count -= mebibyte) {
            if (m_zeroBlock.empty()) {
                m_zeroBlock = deflated(zeros, Z_FULL_FLUSH);
                m_zeroCrc = crc32(0, reinterpret_cast<const Bytef *>(zeros.data()), uInt(zeros.size()));
                m_zeroAdler = adler32(1, reinterpret_cast<const Bytef *>(zeros.data()), uInt(zeros.size()));
            } else if (!m_zeroBlockChecked) {
                // The repetition is right only if a second block comes out the same.
                m_ok = m_ok && deflated(zeros, Z_FULL_FLUSH) == m_zeroBlock;
                m_zeroBlockChecked = true;
            }
            m_body += m_zeroBlock;
            m_crc = crc32_combine(m_crc, m_zeroCrc, z_off_t(mebibyte));
            m_adler = adler32_combine(m_adler, m_zeroAdler, z_off_t(mebibyte));
            m_size += mebibyte;
        }
        if (count > 0)
            add(std::string_view(zeros).substr(0, std::size_t(count)));
    }

    std::uint64_t size() const { return m_size; }

    // Empty when something went wrong.
    std::string gzip()
    {
        std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03", 10);
        out += finished();
        appendLittleEndian(out, m_crc, 4);
        appendLittleEndian(out, m_size & 0xffffffffu, 4);
        return m_ok ? out : std::string();
    }

    std::string zlib()
    {
        std::string out("\x78\xda", 2);
        out += finished();
        appendBigEndian(out, m_adler, 4);
        return m_ok ? out : std::string();
    }

private:
    std::string deflated(std::string_view bytes, int flush)
    {
        std::string out;
        char buffer[65536];
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
        m_stream.avail_in = uInt(bytes.size());
        do {
            m_stream.next_out = reinterpret_cast<Bytef *>(buffer);
            m_stream.avail_out = sizeof buffer;
            const int result = deflate(&m_stream, flush);
            if (result == Z_STREAM_ERROR) {
                m_ok = false;
                break;
            }
            out.append(buffer, sizeof buffer - m_stream.avail_out);
        } while (m_stream.avail_out == 0 || m_stream.avail_in > 0);
        return out;
    }

    std::string finished() { return m_body + deflated({}, Z_FINISH); }

    z_stream m_stream{};
    bool m_ok = false;
    std::string m_body;
    std::string m_zeroBlock;
    bool m_zeroBlockChecked = false;
    uLong m_crc = crc32(0, nullptr, 0);
    uLong m_adler = adler32(0, nullptr, 0);
    uLong m_zeroCrc = 0;
    uLong m_zeroAdler = 0;
    std::uint64_t m_size = 0;
};

// One odc cpio header with its name.
std::string odcHeader(const std::string &name, unsigned mode, std::uint64_t size, unsigned inode)
{
    char header[80];
    std::snprintf(header, sizeof header, "070707%06o%06o%06o%06o%06o%06o%06o%011o%06o%011llo", 0u, inode, mode, 0u, 0u, 1u, 0u, 0u,
                  unsigned(name.size() + 1), static_cast<unsigned long long>(size));
    return std::string(header) + name + '\0';
}
} // namespace

std::string HostilePackage::xar(const std::vector<Member> &members, std::uint64_t emptyMembers, const std::string &prologue,
                                std::optional<std::uint64_t> declaredTableSize)
{
    Deflater table;
    std::string pending = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + prologue
                        + "<xar>\n <toc>\n  <checksum style=\"sha1\">\n   <offset>0</offset>\n   <size>20</size>\n  </checksum>\n";
    std::uint64_t id = 0;
    std::uint64_t offset = 20;
    std::string heap;
    for (const Member &member : members) {
        pending += "  <file id=\"" + std::to_string(++id) + "\">\n   <name>" + member.name
                 + "</name>\n   <type>file</type>\n   <mode>0644</mode>\n   <data>\n    <length>" + std::to_string(member.data.size())
                 + "</length>\n    <offset>" + std::to_string(offset) + "</offset>\n    <size>" + std::to_string(member.size)
                 + "</size>\n    <encoding style=\"" + member.encoding + "\"/>\n   </data>\n  </file>\n";
        offset += member.data.size();
        heap += member.data;
    }
    for (std::uint64_t i = 0; i < emptyMembers; ++i) {
        const std::string number = std::to_string(++id);
        pending += "  <file id=\"" + number + "\"><name>m" + number + "</name><type>file</type></file>\n";
        if (pending.size() >= mebibyte) {
            table.add(pending);
            pending.clear();
        }
    }
    pending += " </toc>\n</xar>\n";
    table.add(pending);
    const std::uint64_t inflated = table.size();
    const std::string packed = table.zlib();
    if (packed.empty())
        return {};
    std::string out = "xar!";
    appendBigEndian(out, 28, 2);
    appendBigEndian(out, 1, 2);
    appendBigEndian(out, packed.size(), 8);
    appendBigEndian(out, declaredTableSize.value_or(inflated), 8);
    appendBigEndian(out, 1, 4); // SHA-1
    out += packed;
    const QByteArray checksum = QCryptographicHash::hash(QByteArrayView(packed.data(), qsizetype(packed.size())), QCryptographicHash::Sha1);
    out.append(checksum.constData(), std::size_t(checksum.size()));
    return out + heap;
}

std::string HostilePackage::zeroPayload(std::uint64_t zeros, bool compressed)
{
    std::string plain;
    Deflater archive;
    const auto add = [&](const std::string &bytes) { compressed ? archive.add(bytes) : void(plain += bytes); };
    unsigned inode = 0;
    add(odcHeader("./opt", 040755, 0, ++inode));
    for (std::uint64_t left = zeros; left > 0;) {
        const std::uint64_t size = std::min(left, largestFile);
        ++inode;
        add(odcHeader("./opt/zeros-" + std::to_string(inode), 0100644, size, inode));
        if (compressed)
            archive.addZeros(size);
        else
            plain.append(std::size_t(size), '\0');
        left -= size;
    }
    add(odcHeader("TRAILER!!!", 0, 0, 0));
    return compressed ? archive.gzip() : plain;
}

std::string HostilePackage::longNamePayload(std::uint64_t zeros)
{
    char header[120];
    // newc: thirteen fields of eight hex digits, the name size twelfth.
    std::snprintf(header, sizeof header, "070701%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x", 1u, 0100644u, 0u, 0u, 1u, 0u,
                  0u, 0u, 0u, 0u, 0u, 0xfffffff0u, 0u);
    Deflater archive;
    archive.add(header);
    archive.addZeros(zeros);
    return archive.gzip();
}

std::string HostilePackage::zlibZeros(std::uint64_t zeros)
{
    Deflater stream;
    stream.addZeros(zeros);
    return stream.zlib();
}

std::string HostilePackage::packageInfo()
{
    packageinstaller::PackageInfo info;
    info.identifier = "com.Corvane.TavorenInstaller";
    info.version = "1";
    return info.toXml();
}

std::string HostilePackage::smallPayload()
{
    using packageinstaller::PayloadEntry;
    auto bytes = packageinstaller::CpioWriter::write({PayloadEntry::folder("./opt"), PayloadEntry::file("./opt/ok", "fine")});
    return bytes ? std::move(*bytes) : std::string();
}

} // namespace tavoren::testsupport
