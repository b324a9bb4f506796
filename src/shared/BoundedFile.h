#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace tavoren::shared {

// Reads a small file whole, refusing anything that is not a regular file or
// is larger than the bound, so a stray device, FIFO or huge file is never
// read into memory and never blocks the caller. The checks are made on the
// open descriptor, so the file cannot be swapped between check and read.
class BoundedFile
{
public:
    enum class State { Absent, Unusable, Read };

    struct Content
    {
        State state = State::Absent;
        QByteArray bytes;
        // The file's owner, when it was read.
        uid_t owner = uid_t(-1);
    };

    // The file at `path`, links followed.
    static Content read(const QString &path, qint64 maximumBytes);
    // The entry `name` of an open folder, never through a link: a link in
    // its place is unusable.
    static Content readAt(int folderFd, const QString &name, qint64 maximumBytes);
};

} // namespace tavoren::shared
