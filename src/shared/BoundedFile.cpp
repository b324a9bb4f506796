#include "shared/BoundedFile.h"

#include <QFile>
#include <QFileInfo>

namespace tavoren::shared {

BoundedFile::Content BoundedFile::read(const QString &path, qint64 maximumBytes)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {State::Absent, {}};
    // Only a regular file: a folder or a FIFO in its place is unusable.
    if (!info.isFile() || info.size() > maximumBytes)
        return {State::Unusable, {}};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {State::Unusable, {}};
    // The file may grow between the size check and the read.
    QByteArray bytes = file.read(maximumBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > maximumBytes)
        return {State::Unusable, {}};
    return {State::Read, bytes};
}

} // namespace tavoren::shared
