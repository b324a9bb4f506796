#include "client/app/WindowIcon.h"

#include "client/app/ImageLoader.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

namespace tavoren::client {

WindowIcon::WindowIcon(shared::SystemLog &systemLog)
    : m_systemLog(systemLog)
{
}

bool WindowIcon::set(const QString &path)
{
    if (path == m_path)
        return m_loaded;
    m_path = path;
    const QImage image = ImageLoader::load(path, m_systemLog);
    m_loaded = !image.isNull();
    if (m_loaded)
        QApplication::setWindowIcon(QIcon(QPixmap::fromImage(image)));
    return m_loaded;
}

} // namespace tavoren::client
