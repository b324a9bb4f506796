#include "client/app/ScreenLook.h"

#include "client/app/ImageLoader.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
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

void ScreenLook::makePlaceholderReadable(QLineEdit *field)
{
    // The style's half-transparent grey reads at about 4:1 only.
    QPalette palette = field->palette();
    palette.setColor(QPalette::PlaceholderText, QColor(0x59, 0x59, 0x59));
    field->setPalette(palette);
}

void ScreenLook::nameClearButton(QLineEdit *field, const QString &name)
{
    // The field makes the button for its clear action; the action's text
    // becomes the button's name and tool tip.
    const QList<QAction *> actions = field->findChildren<QAction *>();
    for (QAction *action : actions) {
        if (action->objectName() == QLatin1String("_q_qlineeditclearaction"))
            action->setText(name);
    }
    const QList<QToolButton *> buttons = field->findChildren<QToolButton *>();
    for (QToolButton *button : buttons) {
        button->setAccessibleName(name);
        button->setToolTip(name);
    }
}

} // namespace tavoren::client
