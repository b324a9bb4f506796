#include "package-installer/XarTableCheck.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavoren::packageinstaller {

namespace {
// The checksum algorithms libarchive can verify: none, SHA-1, MD5. Others
// carry a name after the header, which no package of ours has.
constexpr std::uint32_t largestKnownAlgorithm = 2;
constexpr std::uint16_t version = 1;

std::uint64_t bigEndian(const unsigned char *bytes, std::size_t count)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

bool readAt(int fd, unsigned char *buffer, std::size_t size, off_t offset)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t got = ::pread(fd, buffer + done, size - done, offset + off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = EIO;
            return false;
        }
        done += std::size_t(got);
    }
    return true;
}

shared::Error refused(std::string reason)
{
    return shared::Error::because("read", "the table of contents", std::move(reason));
}

shared::Error tooLarge(const PayloadLimits &limits)
{
    return refused("its table of contents is larger than " + std::to_string(limits.maximumTableBytes) + " bytes");
}
} // namespace

shared::Expected<void> XarTableCheck::check(int fd, const PayloadLimits &limits)
{
    struct stat status{};
    if (::fstat(fd, &status) != 0)
        return refused("it cannot be read (" + std::string(std::strerror(errno)) + ")");
    const auto fileSize = std::uint64_t(status.st_size);
    unsigned char header[headerSize];
    if (fileSize < headerSize || !readAt(fd, header, headerSize, 0))
        return refused("its archive header is cut short");
    const std::uint64_t declaredHeader = bigEndian(header + 4, 2);
    const std::uint64_t declaredVersion = bigEndian(header + 6, 2);
    const std::uint64_t packed = bigEndian(header + 8, 8);
    const std::uint64_t plain = bigEndian(header + 16, 8);
    const std::uint64_t algorithm = bigEndian(header + 24, 4);
    if (declaredHeader != headerSize)
        return refused("its archive header has " + std::to_string(declaredHeader) + " bytes, not " + std::to_string(headerSize));
    if (declaredVersion != version)
        return refused("its archive has version " + std::to_string(declaredVersion) + ", not " + std::to_string(version));
    if (algorithm > largestKnownAlgorithm)
        return refused("its table of contents has an unknown checksum algorithm (" + std::to_string(algorithm) + ")");
    // Neither the declared sizes nor the stream are trusted: each is
    // bounded on its own.
    if (plain > limits.maximumTableBytes || packed > limits.maximumTableBytes)
        return tooLarge(limits);
    if (packed == 0 || packed > fileSize - headerSize)
        return refused("its table of contents is cut short");

    std::vector<unsigned char> input(packed);
    if (!readAt(fd, input.data(), input.size(), off_t(headerSize)))
        return refused("its table of contents cannot be read (" + std::string(std::strerror(errno)) + ")");
    // One byte more than allowed tells a table over the limit apart.
    std::string table(limits.maximumTableBytes + 1, '\0');
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return refused("its table of contents cannot be unpacked (out of memory)");
    stream.next_in = input.data();
    stream.avail_in = uInt(input.size());
    stream.next_out = reinterpret_cast<Bytef *>(table.data());
    stream.avail_out = uInt(table.size());
    const int result = inflate(&stream, Z_FINISH);
    const std::uint64_t inflated = stream.total_out;
    const std::string zlibError = stream.msg ? stream.msg : "";
    inflateEnd(&stream);
    if (inflated > limits.maximumTableBytes)
        return tooLarge(limits);
    if (result != Z_STREAM_END)
        return refused("its table of contents cannot be unpacked (" + (zlibError.empty() ? std::string("it is cut short") : zlibError) + ")");
    if (inflated != plain)
        return refused("its table of contents has " + std::to_string(inflated) + " bytes, not the " + std::to_string(plain) + " its header declares");
    table.resize(inflated);
    // Entities could make a small table expand inside the XML parser.
    if (table.find("<!DOCTYPE") != std::string::npos || table.find("<!ENTITY") != std::string::npos)
        return refused("its table of contents declares a document type");
    return {};
}

} // namespace tavoren::packageinstaller
