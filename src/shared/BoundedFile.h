#pragma once

#include <QByteArray>
#include <QString>

namespace tavoren::shared {

// Reads a small file whole, refusing anything that is not a regular file or
// is larger than the bound, so a stray device, FIFO or huge file is never
// read into memory.
class BoundedFile
{
public:
    enum class State { Absent, Unusable, Read };

    struct Content
    {
        State state = State::Absent;
        QByteArray bytes;
    };

    static Content read(const QString &path, qint64 maximumBytes);
};

} // namespace tavoren::shared
