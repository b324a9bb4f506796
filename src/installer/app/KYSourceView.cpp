#include "installer/app/KYSourceView.h"

#include "installer/app/KYSharedImages.h"
#include "installer/core/InstallerState.h"
#include "installer/core/KYNotificationCenter.h"

#include <QCursor>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPropertyAnimation>

namespace tavoren::installer {

namespace {
constexpr int slideBackMilliseconds = 250;
}

KYSourceView::KYSourceView(QWidget *parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    // It takes the first click that activates the window, and key focus.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setFocusPolicy(Qt::StrongFocus);
    KYSharedImages::setSourceIconImage(KYSharedImages::named(QStringLiteral("Alert.png")));
    refreshImage();
}

void KYSourceView::refreshImage()
{
    const QPixmap image = KYSharedImages::sourceIconImage();
    setPixmap(image.isNull() ? image : image.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void KYSourceView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_state || !m_state->isInitializationComplete)
        return;
    if (!m_state->isTermsAndConditionsAccepted) {
        KYNotificationCenter::defaultCenter().post(KYNotificationCenter::TermsNotAcceptedNotification);
        return;
    }
    startDrag(event->position().toPoint());
}

void KYSourceView::startDrag(const QPoint &hotSpot)
{
    auto *drag = new QDrag(this);
    auto *offered = new QMimeData;
    // Offered, but empty: the drop needs no data.
    offered->setData(QString::fromLatin1(kPrivateDragObject), QByteArray());
    drag->setMimeData(offered);
    const QPixmap image = KYSharedImages::sourceIconImage().scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    drag->setPixmap(image);
    drag->setHotSpot(hotSpot);
    // Copy inside the application; nothing else accepts the private type.
    if (drag->exec(Qt::CopyAction) == Qt::IgnoreAction)
        slideBack(QCursor::pos() - hotSpot);
}

void KYSourceView::slideBack(const QPoint &from)
{
    // A picture of the icon glides from where it was let go back onto it.
    auto *ghost = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    ghost->setAttribute(Qt::WA_TranslucentBackground);
    ghost->setAttribute(Qt::WA_DeleteOnClose);
    ghost->setPixmap(pixmap());
    ghost->resize(size());
    ghost->move(from);
    ghost->show();
    auto *animation = new QPropertyAnimation(ghost, "pos", ghost);
    animation->setDuration(slideBackMilliseconds);
    animation->setStartValue(from);
    animation->setEndValue(mapToGlobal(QPoint(0, 0)));
    animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation, &QPropertyAnimation::finished, ghost, &QWidget::close);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    emit slidBack();
}

} // namespace tavoren::installer
