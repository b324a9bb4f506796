#include "installer/app/KYSourceView.h"

#include "installer/app/KYSharedImages.h"
#include "installer/core/InstallerState.h"
#include "installer/core/KYNotificationCenter.h"
#include "shared/widgets/FocusMark.h"

#include <QCursor>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QStyle>

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
}

void KYSourceView::setSharedImages(const KYSharedImages *images)
{
    m_images = images;
    refreshImage();
}

void KYSourceView::refreshImage()
{
    const QPixmap image = m_images ? m_images->sourceIconImage() : QPixmap();
    setPixmap(image.isNull() ? image : image.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void KYSourceView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_state || !m_state->isInitializationComplete)
        return;
    if (!m_state->isTermsAndConditionsAccepted) {
        if (m_center)
            m_center->post(KYNotificationCenter::TermsNotAcceptedNotification);
        return;
    }
    startDrag(event->position().toPoint());
}

void KYSourceView::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if ((key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter) || event->modifiers() != Qt::NoModifier
        || !m_state || !m_state->isInitializationComplete) {
        QLabel::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!m_center)
        return;
    // As a click would, first ask for the terms; then as the drop does.
    m_center->post(m_state->isTermsAndConditionsAccepted ? KYNotificationCenter::PerformDragOperationNotification
                                                         : KYNotificationCenter::TermsNotAcceptedNotification);
}

void KYSourceView::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    shared::FocusMark::paint(this);
}

QPoint KYSourceView::pictureOrigin() const
{
    return QStyle::alignedRect(layoutDirection(), alignment(), pixmap().size(), contentsRect()).topLeft();
}

void KYSourceView::startDrag(const QPoint &pressedAt)
{
    auto *drag = new QDrag(this);
    auto *offered = new QMimeData;
    // Offered, but empty: the drop needs no data.
    offered->setData(QString::fromLatin1(kPrivateDragObject), QByteArray());
    drag->setMimeData(offered);
    // The picture under the pointer stays where it was taken hold of.
    const QPoint hotSpot = pressedAt - pictureOrigin();
    drag->setPixmap(pixmap());
    drag->setHotSpot(hotSpot);
    // Copy inside the application; nothing else accepts the private type.
    if (drag->exec(Qt::CopyAction) == Qt::IgnoreAction)
        slideBack(QCursor::pos() - hotSpot);
}

void KYSourceView::slideBack(const QPoint &from)
{
    // A picture of the icon glides from where it was let go back onto it,
    // inside the window: a child blends with what is under it on any
    // display, a window of its own only where a compositor runs.
    QWidget *top = window();
    auto *ghost = new QLabel(top);
    ghost->setAttribute(Qt::WA_TransparentForMouseEvents);
    ghost->setPixmap(pixmap());
    ghost->resize(pixmap().size());
    const QPoint start = top->mapFromGlobal(from);
    ghost->move(start);
    ghost->show();
    ghost->raise();
    auto *animation = new QPropertyAnimation(ghost, "pos", ghost);
    animation->setDuration(slideBackMilliseconds);
    animation->setStartValue(start);
    animation->setEndValue(mapTo(top, pictureOrigin()));
    animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation, &QPropertyAnimation::finished, ghost, &QObject::deleteLater);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    emit slidBack();
}

} // namespace tavoren::installer
