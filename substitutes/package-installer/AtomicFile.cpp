#include "package-installer/AtomicFile.h"

#include "shared/Descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::packageinstaller {

std::optional<shared::FileError> AtomicFile::write(int folderFd, const std::string &name, std::string_view content,
                                                   unsigned mode, const std::string &shownPath)
{
    std::string temporary;
    shared::Descriptor fd;
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
        temporary = "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".new";
        fd.reset(::openat(folderFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd && errno != EEXIST)
            return shared::FileError{"create", shownPath, errno};
    }
    if (!fd)
        return shared::FileError{"create", shownPath, EEXIST};
    const auto fail = [&](int error) {
        ::unlinkat(folderFd, temporary.c_str(), 0);
        return shared::FileError{"write", shownPath, error};
    };
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t wrote = ::write(fd.get(), content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return fail(wrote < 0 ? errno : EIO);
        done += std::size_t(wrote);
    }
    if (::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0)
        return fail(errno);
    fd.reset();
    if (::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) != 0)
        return fail(errno);
    ::fsync(folderFd);
    return std::nullopt;
}

std::optional<shared::FileError> AtomicFile::write(const std::string &path, std::string_view content, unsigned mode)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return shared::FileError{"create", path, EINVAL};
    shared::Descriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd)
        return shared::FileError{"create", path, errno};
    return write(folderFd.get(), name, content, mode, path);
}

} // namespace tavoren::packageinstaller
