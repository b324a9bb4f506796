#include "package-installer/FlatPackage.h"

#include "package-installer/ArchiveHandles.h"
#include "package-installer/XarTableCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::packageinstaller {

namespace {

shared::Error damaged(const std::string &path, std::string reason)
{
    return shared::Error::because(FlatPackage::damagedAction, path, std::move(reason));
}

std::string archiveError(archive *a)
{
    const char *text = archive_error_string(a);
    return text ? text : "unknown error";
}

// Copies the current member into a new file of the work folder, at most
// `limit` bytes. A member the outer archive stores compressed must not
// expand beyond the limits either, measured against the package bytes read
// meanwhile.
// libarchive's xar reader goes on past the end of a stored (uncompressed)
// member, into the members after it; the table of contents' size is where
// the member ends.
shared::Expected<shared::Descriptor> copyMember(archive *a, archive_entry *item, int folderFd, const char *name,
                                                std::uint64_t limit, const PayloadLimits &limits)
{
    const auto failed = [name](std::string reason) {
        return shared::Error::because("unpack", name, std::string("its ") + name + " " + reason);
    };
    const bool sized = archive_entry_size_is_set(item) && archive_entry_size(item) >= 0;
    const std::uint64_t declared = sized ? std::uint64_t(archive_entry_size(item)) : 0;
    shared::Descriptor copy(::openat(folderFd, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!copy)
        return failed(std::string("cannot be unpacked (") + std::strerror(errno) + ")");
    std::uint64_t total = 0;
    const la_int64_t start = archive_filter_bytes(a, -1);
    char buffer[65536];
    for (;;) {
        if (sized && total == declared)
            return copy;
        la_ssize_t got = archive_read_data(a, buffer, sizeof buffer);
        if (got < 0)
            return failed("cannot be read (" + archiveError(a) + ")");
        if (got == 0)
            return copy;
        if (sized && total + std::uint64_t(got) > declared)
            got = la_ssize_t(declared - total);
        total += std::uint64_t(got);
        if (total > limit)
            return failed("is larger than " + std::to_string(limit) + " bytes");
        const la_int64_t packed = archive_filter_bytes(a, -1) - start;
        if (auto within = limits.checkExpansion(std::uint64_t(std::max<la_int64_t>(packed, 0)), total, limit); !within)
            return failed("cannot be read (" + within.error().text + ")");
        for (la_ssize_t done = 0; done < got;) {
            const ssize_t wrote = ::write(copy.get(), buffer + done, std::size_t(got - done));
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote <= 0)
                return failed(std::string("cannot be unpacked (") + std::strerror(wrote < 0 ? errno : EIO) + ")");
            done += wrote;
        }
    }
}
} // namespace

shared::Expected<FlatPackage> FlatPackage::open(const std::string &path, int workFolderFd, const PayloadLimits &limits)
{
    const shared::Error notAPackage = shared::Error::because(notAPackageAction, path, "it is not a flat package");

    shared::Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status{};
    if (!fd || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return notAPackage;
    char magic[4] = {};
    if (::pread(fd.get(), magic, sizeof magic, 0) != ssize_t(sizeof magic) || std::memcmp(magic, "xar!", 4) != 0)
        return notAPackage;

    // The table of contents first, which libarchive would read whole.
    if (auto checked = XarTableCheck::check(fd.get(), limits); !checked)
        return damaged(path, checked.error().text);

    ReadArchive a(archive_read_new());
    if (!a)
        return damaged(path, "it cannot be read (out of memory)");
    archive_read_support_format_xar(a.get());
    if (archive_read_open_fd(a.get(), fd.get(), 65536) != ARCHIVE_OK)
        return damaged(path, "it cannot be read (" + archiveError(a.get()) + ")");

    FlatPackage package;
    bool seenInfo = false;
    for (;;) {
        archive_entry *item = nullptr;
        const int step = archive_read_next_header(a.get(), &item);
        if (step == ARCHIVE_EOF)
            break;
        if (step != ARCHIVE_OK && step != ARCHIVE_WARN)
            return damaged(path, "it cannot be read (" + archiveError(a.get()) + ")");
        const char *name = archive_entry_pathname(item);
        const std::string member = name ? name : "";
        if (member == "PackageInfo") {
            if (seenInfo)
                return damaged(path, "it has two PackageInfo members");
            seenInfo = true;
            char buffer[65536];
            for (;;) {
                const la_ssize_t got = archive_read_data(a.get(), buffer, sizeof buffer);
                if (got < 0)
                    return damaged(path, "its PackageInfo cannot be read (" + archiveError(a.get()) + ")");
                if (got == 0)
                    break;
                if (package.packageInfo.size() + std::size_t(got) > limits.maximumPackageInfoBytes)
                    return damaged(path, "its PackageInfo is larger than " + std::to_string(limits.maximumPackageInfoBytes) + " bytes");
                package.packageInfo.append(buffer, std::size_t(got));
            }
        } else if (member == "Payload") {
            if (package.payload)
                return damaged(path, "it has two Payload members");
            auto copy = copyMember(a.get(), item, workFolderFd, "Payload", limits.maximumPayloadBytes, limits);
            if (!copy)
                return damaged(path, copy.error().text);
            package.payload = std::move(*copy);
        } else if (member == "Scripts") {
            if (package.scripts)
                return damaged(path, "it has two Scripts members");
            auto copy = copyMember(a.get(), item, workFolderFd, "Scripts", limits.maximumScriptsBytes, limits);
            if (!copy)
                return damaged(path, copy.error().text);
            package.scripts = std::move(*copy);
        }
        // Other members (a bill of materials, say) are not needed here.
    }
    if (!seenInfo)
        return damaged(path, "it has no PackageInfo");
    if (!package.payload)
        return damaged(path, "it has no Payload");
    return package;
}

} // namespace tavoren::packageinstaller
