#include "client/app/ReleaseCodeLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace tavoren::client {

ReleaseCodeLabel::ReleaseCodeLabel(QWidget *parent)
    : QLabel(parent)
{
}

bool ReleaseCodeLabel::event(QEvent *event)
{
    // The label's own copy takes only the selection; declining the key
    // here lets the screen's copy shortcut have it.
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        event->ignore();
        return true;
    }
    return QLabel::event(event);
}

void ReleaseCodeLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    setSelection(0, int(text().size()));
}

} // namespace tavoren::client
