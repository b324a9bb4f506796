#include "package-installer/TargetCheck.h"

#include "package-installer/PayloadPath.h"
#include "shared/Descriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>

namespace tavoren::packageinstaller {

namespace {
// A link of the system: root's and leading to a folder, as a merged /usr or
// /var/run has them. Never taken away for a folder of a package.
bool isSystemLink(int folderFd, const std::string &name, const struct stat &status)
{
    struct stat target{};
    return S_ISLNK(status.st_mode) && status.st_uid == 0 && ::fstatat(folderFd, name.c_str(), &target, 0) == 0
           && S_ISDIR(target.st_mode);
}

shared::Error refusal(const CheckedEntry &item, std::string sentence)
{
    return shared::Error::because("install", item.entry.path, std::move(sentence));
}
} // namespace

shared::Expected<void> TargetCheck::check(int baseFd, const std::string &prefix, const std::vector<CheckedEntry> &entries)
{
    // Only what stands where the payload lists a folder is replaced; a link
    // of the system that its paths merely pass through is refused as ever.
    std::set<std::string> listedFolders;
    for (const CheckedEntry &item : entries) {
        if (item.entry.kind == PayloadEntry::Kind::Folder && !item.names.empty())
            listedFolders.insert(PayloadPath::join(item.names));
    }
    for (const CheckedEntry &item : entries) {
        if (item.names.size() < 2)
            continue;
        const std::string entry = "The payload item " + PayloadPath::shown(item.entry.path);
        shared::Descriptor folder(::fcntl(baseFd, F_DUPFD_CLOEXEC, 0));
        if (!folder)
            return refusal(item, "Could not examine the target: " + std::string(std::strerror(errno)) + ".");
        // The folders above the entry; the entry's own place may hold
        // anything but a link of the system where the entry is a folder.
        for (std::size_t depth = 0; depth < item.names.size(); ++depth) {
            const bool own = depth + 1 == item.names.size();
            const std::string &name = item.names[depth];
            const std::string here = PayloadPath::absolute(prefix, {item.names.begin(), item.names.begin() + std::ptrdiff_t(depth) + 1});
            struct stat status{};
            if (::fstatat(folder.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)
                    break;
                return refusal(item, "Could not examine " + PayloadPath::shown(here) + ": " + std::strerror(errno) + ".");
            }
            if (!S_ISDIR(status.st_mode)) {
                const bool listed = listedFolders.count(PayloadPath::join(item.names, depth + 1)) > 0;
                if (listed && isSystemLink(folder.get(), name, status))
                    return refusal(item, entry + (own ? " is a folder where the target has the link " : " lies behind the link ")
                                             + PayloadPath::shown(here) + " of the target.");
                if (own || listed)
                    break;
                if (S_ISLNK(status.st_mode))
                    return refusal(item, entry + " lies behind the link " + PayloadPath::shown(here) + " of the target.");
                return refusal(item, entry + " lies below " + PayloadPath::shown(here) + ", which is not a folder in the target.");
            }
            if (own)
                break;
            folder.reset(::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!folder)
                return refusal(item, "Could not examine " + PayloadPath::shown(here) + ": " + std::strerror(errno) + ".");
        }
    }
    return {};
}

} // namespace tavoren::packageinstaller
