#include "package-installer/TargetCheck.h"

#include "package-installer/PayloadPath.h"
#include "shared/Descriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace tavoren::packageinstaller {

std::optional<std::string> TargetCheck::check(int baseFd, const std::string &prefix, const std::vector<CheckedEntry> &entries)
{
    for (const CheckedEntry &item : entries) {
        if (item.names.empty())
            continue;
        const std::string entry = "The payload item " + PayloadPath::shown(item.entry.path);
        shared::Descriptor folder(::fcntl(baseFd, F_DUPFD_CLOEXEC, 0));
        if (!folder)
            return "Could not examine the target: " + std::string(std::strerror(errno)) + ".";
        for (std::size_t depth = 0; depth < item.names.size(); ++depth) {
            const std::string &name = item.names[depth];
            const std::string here = PayloadPath::absolute(prefix, {item.names.begin(), item.names.begin() + std::ptrdiff_t(depth) + 1});
            struct stat status{};
            if (::fstatat(folder.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)
                    break;
                return "Could not examine " + PayloadPath::shown(here) + ": " + std::strerror(errno) + ".";
            }
            const bool last = depth + 1 == item.names.size();
            if (!last) {
                if (S_ISLNK(status.st_mode))
                    return entry + " lies behind the link " + PayloadPath::shown(here) + " of the target.";
                if (!S_ISDIR(status.st_mode))
                    return entry + " lies below " + PayloadPath::shown(here) + ", which is not a folder in the target.";
                folder.reset(::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (!folder)
                    return "Could not examine " + PayloadPath::shown(here) + ": " + std::strerror(errno) + ".";
                continue;
            }
            const bool wantsFolder = item.entry.kind == PayloadEntry::Kind::Folder;
            if (wantsFolder && !S_ISDIR(status.st_mode))
                return entry + " is a folder where the target has " + (S_ISLNK(status.st_mode) ? "a link " : "a file ")
                     + PayloadPath::shown(here) + ".";
            if (!wantsFolder && S_ISDIR(status.st_mode))
                return entry + " would replace the folder " + PayloadPath::shown(here) + " of the target.";
        }
    }
    return std::nullopt;
}

} // namespace tavoren::packageinstaller
