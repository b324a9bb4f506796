#include "client/app/ImageLoader.h"

#include "client/core/Log.h"
#include "shared/BoundedFile.h"

#include <QBuffer>
#include <QImageReader>

namespace tavoren::client {

QImage ImageLoader::load(const QString &path, shared::SystemLog &systemLog)
{
    if (path.isEmpty())
        return {};
    const shared::BoundedFile::Content file = shared::BoundedFile::read(path, maximumBytes);
    switch (file.state) {
    case shared::BoundedFile::State::Absent:
        Log(systemLog, LogLevel::Error, path, QStringLiteral("<- image not found"));
        return {};
    case shared::BoundedFile::State::Unusable:
        Log(systemLog, LogLevel::Error, path, QStringLiteral("<- image skipped: not a regular file or larger than 8 MiB"));
        return {};
    case shared::BoundedFile::State::Read:
        break;
    }
    // The format from the content, never from the name.
    QBuffer buffer;
    buffer.setData(file.bytes);
    QImageReader reader(&buffer);
    QImage image = reader.read();
    if (image.isNull())
        Log(systemLog, LogLevel::Error, path, QStringLiteral("<- image could not be decoded"));
    return image;
}

} // namespace tavoren::client
