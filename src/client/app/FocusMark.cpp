#include "client/app/FocusMark.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusFrame>
#include <QLineEdit>
#include <QWidget>

namespace tavoren::client {

FocusMark::FocusMark(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { follow(now); });
}

void FocusMark::follow(QWidget *now)
{
    const bool control = qobject_cast<QAbstractButton *>(now) || qobject_cast<QLineEdit *>(now);
    const bool ours = now && m_window && now->window() == m_window;
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

} // namespace tavoren::client
