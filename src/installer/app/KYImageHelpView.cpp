#include "installer/app/KYImageHelpView.h"

#include "installer/app/KYSharedImages.h"
#include "shared/widgets/FocusMark.h"

#include <QEnterEvent>
#include <QKeyEvent>

namespace tavoren::installer {

KYImageHelpView::KYImageHelpView(QWidget *parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    // Hover events arrive whether or not the window has focus.
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    // Its help is reachable without a mouse.
    setFocusPolicy(Qt::StrongFocus);
}

void KYImageHelpView::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    const QPixmap image = KYSharedImages::named(QStringLiteral("question_icon.png"));
    setPixmap(image.isNull() ? image : image.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void KYImageHelpView::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    showTooltip();
}

void KYImageHelpView::showTooltip()
{
    if (!m_tooltipView)
        return;
    m_tooltipView->adjustSize();
    // Under the icon, kept inside the window.
    QPoint place = mapToGlobal(QPoint(width() - m_tooltipView->width(), height() + 6));
    if (m_parentWindow) {
        const QRect window = m_parentWindow->frameGeometry();
        place.setX(std::clamp(place.x(), window.left() + 8, std::max(window.left() + 8, window.right() - m_tooltipView->width() - 8)));
    }
    m_tooltipView->move(place);
    m_tooltipView->show();
    m_tooltipView->raise();
}

void KYImageHelpView::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    // The keyboard's reader keeps it while the focus stays.
    if (!hasFocus())
        hideTooltip();
}

void KYImageHelpView::hideTooltip()
{
    if (m_tooltipView)
        m_tooltipView->hide();
}

void KYImageHelpView::focusInEvent(QFocusEvent *event)
{
    QLabel::focusInEvent(event);
    showTooltip();
}

void KYImageHelpView::focusOutEvent(QFocusEvent *event)
{
    QLabel::focusOutEvent(event);
    hideTooltip();
}

void KYImageHelpView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_tooltipView && m_tooltipView->isVisible()) {
        hideTooltip();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_F1 || event->key() == Qt::Key_Space) {
        showTooltip();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

void KYImageHelpView::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    shared::FocusMark::paint(this);
}

} // namespace tavoren::installer
