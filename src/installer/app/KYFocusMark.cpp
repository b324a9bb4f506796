#include "installer/app/KYFocusMark.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusFrame>
#include <QPainter>
#include <QWidget>

namespace tavoren::installer {

KYFocusMark::KYFocusMark(QWidget *root)
    : QObject(root)
    , m_root(root)
{
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { follow(now); });
}

void KYFocusMark::follow(QWidget *now)
{
    // Buttons the style marks; a control with a style sheet of its own
    // draws its own mark.
    auto *button = qobject_cast<QAbstractButton *>(now);
    const QWidget *window = now ? now->window() : nullptr;
    const bool ours = window && m_root && (window == m_root || window->parentWidget() == m_root);
    if (!button || !ours || !button->styleSheet().isEmpty()) {
        if (m_frame)
            m_frame->setWidget(nullptr);
        return;
    }
    // The frame lives beside the widget it rings, and goes with its parent.
    if (!m_frame)
        m_frame = new QFocusFrame(button);
    m_frame->setWidget(button);
}

void KYFocusMark::paint(QWidget *widget)
{
    if (!widget->hasFocus())
        return;
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour(), 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(widget->rect()).adjusted(1.0, 1.0, -1.0, -1.0), 4.0, 4.0);
}

} // namespace tavoren::installer
