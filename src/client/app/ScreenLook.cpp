#include "client/app/ScreenLook.h"

#include "client/app/ImageLoader.h"

#include <QLabel>
#include <QPalette>
#include <QPixmap>

namespace tavoren::client {

bool ScreenLook::showImage(QLabel *view, const QString &path, shared::SystemLog &systemLog)
{
    if (!view || path.isEmpty())
        return false;
    QPixmap image = QPixmap::fromImage(ImageLoader::load(path, systemLog));
    if (image.isNull())
        return false;
    const QSize room = view->maximumSize().boundedTo(QSize(4096, 4096));
    if (image.width() > room.width() || image.height() > room.height())
        image = image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    view->setPixmap(image);
    return true;
}

void ScreenLook::paintWhite(QWidget *widget)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::white);
    widget->setPalette(palette);
}

} // namespace tavoren::client
