#include "shared/BoundedFile.h"

#include "shared/Descriptor.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::shared {

namespace {

// O_NONBLOCK: a FIFO opens at once instead of waiting for a writer.
// O_NOCTTY: a terminal named here never becomes ours.
constexpr int openFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Why an open failed: a file that cannot even be seen (missing, or behind a
// folder we may not enter) is absent; one that is there but refused is not.
BoundedFile::State failedOpen(int openError, int folderFd, const QByteArray &name, int statFlags)
{
    if (openError == ENOENT || openError == ENOTDIR)
        return BoundedFile::State::Absent;
    struct stat status{};
    return ::fstatat(folderFd, name.constData(), &status, statFlags) != 0 ? BoundedFile::State::Absent
                                                                          : BoundedFile::State::Unusable;
}

BoundedFile::Content readOpen(int fd, qint64 maximumBytes)
{
    using State = BoundedFile::State;
    const Descriptor file(fd);
    struct stat status{};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > maximumBytes)
        return {State::Unusable, {}, uid_t(-1)};
    // The file may grow after fstat: at most one byte past the bound is read.
    QByteArray bytes;
    bytes.resize(qsizetype(status.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maximumBytes)
                return {State::Unusable, {}, uid_t(-1)};
            bytes.resize(qsizetype(std::min<qint64>(maximumBytes + 1, qint64(bytes.size()) * 2)));
        }
        const ssize_t got = ::read(fd, bytes.data() + filled, std::size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {State::Unusable, {}, uid_t(-1)};
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > maximumBytes)
        return {State::Unusable, {}, uid_t(-1)};
    bytes.truncate(filled);
    return {State::Read, bytes, status.st_uid};
}

} // namespace

BoundedFile::Content BoundedFile::read(const QString &path, qint64 maximumBytes)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return {State::Absent, {}, uid_t(-1)};
    const int fd = ::open(name.constData(), openFlags);
    if (fd < 0)
        return {failedOpen(errno, AT_FDCWD, name, 0), {}, uid_t(-1)};
    return readOpen(fd, maximumBytes);
}

BoundedFile::Content BoundedFile::readAt(int folderFd, const QString &name, qint64 maximumBytes)
{
    const QByteArray entry = QFile::encodeName(name);
    if (entry.isEmpty())
        return {State::Absent, {}, uid_t(-1)};
    const int fd = ::openat(folderFd, entry.constData(), openFlags | O_NOFOLLOW);
    if (fd < 0)
        return {failedOpen(errno, folderFd, entry, AT_SYMLINK_NOFOLLOW), {}, uid_t(-1)};
    return readOpen(fd, maximumBytes);
}

} // namespace tavoren::shared
