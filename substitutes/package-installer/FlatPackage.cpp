#include "package-installer/FlatPackage.h"

#include "package-installer/XarTableCheck.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::packageinstaller {

namespace {
struct ArchiveFree
{
    void operator()(archive *a) const { archive_read_free(a); }
};

FlatPackage damaged(std::string reason)
{
    FlatPackage package;
    package.problem = FlatPackage::Problem::Damaged;
    package.reason = std::move(reason);
    return package;
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
bool copyMember(archive *a, archive_entry *item, int folderFd, const char *name, std::uint64_t limit,
                const PayloadLimits &limits, shared::Descriptor &copy, std::string &error)
{
    const bool sized = archive_entry_size_is_set(item) && archive_entry_size(item) >= 0;
    const std::uint64_t declared = sized ? std::uint64_t(archive_entry_size(item)) : 0;
    copy.reset(::openat(folderFd, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!copy) {
        error = std::string("its ") + name + " cannot be unpacked (" + std::strerror(errno) + ")";
        return false;
    }
    std::uint64_t total = 0;
    const la_int64_t start = archive_filter_bytes(a, -1);
    char buffer[65536];
    for (;;) {
        if (sized && total == declared)
            return true;
        la_ssize_t got = archive_read_data(a, buffer, sizeof buffer);
        if (got < 0) {
            error = std::string("its ") + name + " cannot be read (" + archiveError(a) + ")";
            return false;
        }
        if (got == 0)
            return true;
        if (sized && total + std::uint64_t(got) > declared)
            got = la_ssize_t(declared - total);
        total += std::uint64_t(got);
        if (total > limit) {
            error = std::string("its ") + name + " is larger than " + std::to_string(limit) + " bytes";
            return false;
        }
        const la_int64_t packed = archive_filter_bytes(a, -1) - start;
        if (auto why = limits.expansionRefusal(std::uint64_t(std::max<la_int64_t>(packed, 0)), total, limit)) {
            error = std::string("its ") + name + " cannot be read (" + *why + ")";
            return false;
        }
        for (la_ssize_t done = 0; done < got;) {
            const ssize_t wrote = ::write(copy.get(), buffer + done, std::size_t(got - done));
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote <= 0) {
                error = std::string("its ") + name + " cannot be unpacked (" + std::strerror(wrote < 0 ? errno : EIO) + ")";
                return false;
            }
            done += wrote;
        }
    }
}
} // namespace

FlatPackage FlatPackage::open(const std::string &path, int workFolderFd, const PayloadLimits &limits)
{
    FlatPackage notAPackage;
    notAPackage.problem = Problem::NotAPackage;

    shared::Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status{};
    if (!fd || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return notAPackage;
    char magic[4] = {};
    if (::pread(fd.get(), magic, sizeof magic, 0) != ssize_t(sizeof magic) || std::memcmp(magic, "xar!", 4) != 0)
        return notAPackage;

    // The table of contents first, which libarchive would read whole.
    if (auto problem = XarTableCheck::check(fd.get(), limits))
        return damaged(*problem);

    std::unique_ptr<archive, ArchiveFree> a(archive_read_new());
    if (!a)
        return damaged("it cannot be read (out of memory)");
    archive_read_support_format_xar(a.get());
    if (archive_read_open_fd(a.get(), fd.get(), 65536) != ARCHIVE_OK)
        return damaged("it cannot be read (" + archiveError(a.get()) + ")");

    FlatPackage package;
    bool seenInfo = false;
    for (;;) {
        archive_entry *item = nullptr;
        const int step = archive_read_next_header(a.get(), &item);
        if (step == ARCHIVE_EOF)
            break;
        if (step != ARCHIVE_OK && step != ARCHIVE_WARN)
            return damaged("it cannot be read (" + archiveError(a.get()) + ")");
        const char *name = archive_entry_pathname(item);
        const std::string member = name ? name : "";
        std::string error;
        if (member == "PackageInfo") {
            if (seenInfo)
                return damaged("it has two PackageInfo members");
            seenInfo = true;
            char buffer[65536];
            for (;;) {
                const la_ssize_t got = archive_read_data(a.get(), buffer, sizeof buffer);
                if (got < 0)
                    return damaged("its PackageInfo cannot be read (" + archiveError(a.get()) + ")");
                if (got == 0)
                    break;
                if (package.packageInfo.size() + std::size_t(got) > limits.maximumPackageInfoBytes)
                    return damaged("its PackageInfo is larger than " + std::to_string(limits.maximumPackageInfoBytes) + " bytes");
                package.packageInfo.append(buffer, std::size_t(got));
            }
        } else if (member == "Payload") {
            if (package.payload)
                return damaged("it has two Payload members");
            if (!copyMember(a.get(), item, workFolderFd, "Payload", limits.maximumPayloadBytes, limits, package.payload, error))
                return damaged(error);
        } else if (member == "Scripts") {
            if (package.scripts)
                return damaged("it has two Scripts members");
            if (!copyMember(a.get(), item, workFolderFd, "Scripts", limits.maximumScriptsBytes, limits, package.scripts, error))
                return damaged(error);
        }
        // Other members (a bill of materials, say) are not needed here.
    }
    if (!seenInfo)
        return damaged("it has no PackageInfo");
    if (!package.payload)
        return damaged("it has no Payload");
    return package;
}

} // namespace tavoren::packageinstaller
