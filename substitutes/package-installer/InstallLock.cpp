#include "package-installer/InstallLock.h"

#include "shared/Error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace tavoren::packageinstaller {

std::optional<shared::Descriptor> InstallLock::take(int receiptsFd, const std::string &shownPath, std::string &error)
{
    shared::Descriptor fd(::openat(receiptsFd, fileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!fd) {
        error = shared::Error::system("open", shownPath, errno).description();
        return std::nullopt;
    }
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            error = shared::Error::system("lock", shownPath, errno).description();
            return std::nullopt;
        }
    }
    return fd;
}

} // namespace tavoren::packageinstaller
