#include "installer/app/KYDestinationView.h"

#include "installer/app/KYSharedImages.h"
#include "installer/app/KYSourceView.h"
#include "installer/core/KYNotificationCenter.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>

namespace tavoren::installer {

namespace {
constexpr qreal highlightWidth = 5.0;
}

KYDestinationView::KYDestinationView(QWidget *parent)
    : QLabel(parent)
{
    setAcceptDrops(true);
    setAlignment(Qt::AlignCenter);
}

void KYDestinationView::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    const QPixmap image = KYSharedImages::named(QStringLiteral("DestinationIcon.png"));
    setPixmap(image.isNull() ? image : image.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void KYDestinationView::setHighlight(bool on)
{
    m_highlight = on;
    update();
}

void KYDestinationView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!event->mimeData()->hasFormat(QString::fromLatin1(KYSourceView::kPrivateDragObject))) {
        event->ignore();
        return;
    }
    setHighlight(true);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void KYDestinationView::dragLeaveEvent(QDragLeaveEvent *event)
{
    setHighlight(false);
    event->accept();
}

void KYDestinationView::dropEvent(QDropEvent *event)
{
    setHighlight(false);
    if (!event->mimeData()->hasFormat(QString::fromLatin1(KYSourceView::kPrivateDragObject))) {
        event->ignore();
        return;
    }
    // Dropping the destination onto itself means nothing.
    if (event->source() != this && m_center)
        m_center->post(KYNotificationCenter::PerformDragOperationNotification);
    event->setDropAction(Qt::CopyAction);
    event->accept();
    update();
}

void KYDestinationView::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!m_highlight)
        return;
    QPainter painter(this);
    painter.setPen(QPen(Qt::gray, highlightWidth));
    const qreal inset = highlightWidth / 2.0;
    painter.drawRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset));
}

} // namespace tavoren::installer
