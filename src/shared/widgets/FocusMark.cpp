#include "shared/widgets/FocusMark.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusFrame>
#include <QLineEdit>
#include <QPainter>
#include <QWidget>

namespace tavoren::shared {

FocusMark::FocusMark(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { follow(now); });
}

void FocusMark::follow(QWidget *now)
{
    const bool control = qobject_cast<QAbstractButton *>(now) || qobject_cast<QLineEdit *>(now);
    const QWidget *window = now ? now->window() : nullptr;
    const bool ours = window && m_window && (window == m_window || window->parentWidget() == m_window);
    if (!control || !ours || !now->styleSheet().isEmpty()) {
        // Focus gone to another window leaves this one's mark alone.
        if (m_frame && (ours || !now))
            m_frame->setWidget(nullptr);
        return;
    }
    // The frame lives beside the widget it rings, and goes with its parent.
    if (!m_frame)
        m_frame = new QFocusFrame(now);
    m_frame->setWidget(now);
}

void FocusMark::paint(QWidget *widget)
{
    if (!widget->hasFocus())
        return;
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour(), 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(widget->rect()).adjusted(1.0, 1.0, -1.0, -1.0), 4.0, 4.0);
}

} // namespace tavoren::shared
