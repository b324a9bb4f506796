#include "package-installer/InstallLock.h"

#include "shared/Error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace tavoren::packageinstaller {

shared::Expected<shared::Descriptor> InstallLock::take(int receiptsFd, const std::string &shownPath)
{
    shared::Descriptor fd(::openat(receiptsFd, fileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!fd)
        return shared::Error::system("open", shownPath, errno);
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return shared::Error::system("lock", shownPath, errno);
    }
    return fd;
}

} // namespace tavoren::packageinstaller
