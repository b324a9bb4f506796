#pragma once

#include <QImage>
#include <QString>

namespace tavoren::shared {
class SystemLog;
}

namespace tavoren::client {

// The one way the client reads an image named by configuration (logos, the
// application icon): only a regular file within the size limit, opened
// without blocking, so a FIFO, a device or a huge file cannot hang or
// swamp the client. What is skipped leaves an Error line in the client log.
class ImageLoader
{
public:
    static constexpr qint64 maximumBytes = 8 * 1024 * 1024;

    // The decoded image; a null image when the path is empty or the file is
    // skipped, missing or no image.
    static QImage load(const QString &path, shared::SystemLog &systemLog);
};

} // namespace tavoren::client
