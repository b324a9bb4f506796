#include "installer/core/ProgressFile.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::installer {

namespace {
constexpr off_t firstChunk = 4096;

// Line ends in `bytes`, not counting one at the very end.
qsizetype innerLineEnds(const QByteArray &bytes)
{
    const qsizetype count = bytes.count('\n');
    return bytes.endsWith('\n') ? count - 1 : count;
}

void readAt(int fd, off_t offset, QByteArray *bytes)
{
    qsizetype done = 0;
    while (done < bytes->size()) {
        const ssize_t count = ::pread(fd, bytes->data() + done, std::size_t(bytes->size() - done), offset + done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += count;
    }
    bytes->truncate(done);
}
} // namespace

void ProgressFile::lastTwoLines(const QByteArray &bytes, QByteArray *secondToLast, QByteArray *last)
{
    secondToLast->clear();
    last->clear();
    if (bytes.isEmpty())
        return;
    // The last line ends at the end of the bytes, with or without its line end.
    const qsizetype searchFrom = bytes.endsWith('\n') ? bytes.size() - 2 : bytes.size() - 1;
    const qsizetype lastStart = searchFrom < 0 ? 0 : bytes.lastIndexOf('\n', searchFrom) + 1;
    *last = bytes.mid(lastStart);
    if (lastStart == 0) {
        // A single line (or the cut tail of one): "tail -2" shows just it.
        *secondToLast = *last;
        return;
    }
    const qsizetype previousStart = lastStart >= 2 ? bytes.lastIndexOf('\n', lastStart - 2) + 1 : 0;
    *secondToLast = bytes.mid(previousStart, lastStart - previousStart);
}

ProgressFile::Tail ProgressFile::read(const WorkingFolder &folder, const std::string &name)
{
    Tail tail;
    const auto opened = folder.openForReading(name);
    struct stat status{};
    if (!opened || ::fstat(opened->get(), &status) != 0)
        return tail;
    // Only a plain file of root's or the user's is opened: anyone may write
    // the shared folder, and another user's file could say anything.
    const shared::Descriptor &fd = *opened;
    tail.exists = true;
    tail.identity = {status.st_ino, status.st_ctim};
    tail.size = status.st_size;

    // Most lines are short: read a little from the end, more only when the
    // two lines do not fit.
    off_t chunk = std::min(firstChunk, status.st_size);
    QByteArray bytes;
    for (;;) {
        bytes = QByteArray(qsizetype(chunk), Qt::Uninitialized);
        readAt(fd.get(), status.st_size - chunk, &bytes);
        const bool whole = chunk >= status.st_size;
        if (whole || chunk >= maximumScan || innerLineEnds(bytes) >= 2)
            break;
        chunk = std::min({chunk * 4, status.st_size, maximumScan});
    }
    // Beyond the scan limit the first line in the bytes may be the end of a
    // longer one; its start is not worth reading.
    lastTwoLines(bytes, &tail.secondToLast, &tail.last);
    return tail;
}

} // namespace tavoren::installer
