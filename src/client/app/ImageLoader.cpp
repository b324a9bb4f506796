#include "client/app/ImageLoader.h"

#include "client/core/Log.h"
#include "shared/BoundedFile.h"

#include <QApplication>
#include <QBuffer>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

namespace tavoren::client {

namespace {
QString g_iconPath;
bool g_iconLoaded = false;
} // namespace

QImage ImageLoader::load(const QString &path)
{
    if (path.isEmpty())
        return {};
    const shared::BoundedFile::Content file = shared::BoundedFile::read(path, maximumBytes);
    switch (file.state) {
    case shared::BoundedFile::State::Absent:
        Log(LogLevel::Error, path, QStringLiteral("<- image not found"));
        return {};
    case shared::BoundedFile::State::Unusable:
        Log(LogLevel::Error, path, QStringLiteral("<- image skipped: not a regular file or larger than 8 MiB"));
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
        Log(LogLevel::Error, path, QStringLiteral("<- image could not be decoded"));
    return image;
}

bool ImageLoader::setApplicationIcon(const QString &path)
{
    if (path == g_iconPath)
        return g_iconLoaded;
    g_iconPath = path;
    const QImage image = load(path);
    g_iconLoaded = !image.isNull();
    if (g_iconLoaded)
        QApplication::setWindowIcon(QIcon(QPixmap::fromImage(image)));
    return g_iconLoaded;
}

} // namespace tavoren::client
