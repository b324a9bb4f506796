#include "installer/app/KYBackgroundView.h"

#include "installer/app/KYSharedImages.h"

#include <QPainter>

namespace tavoren::installer {

KYBackgroundView::KYBackgroundView(QWidget *parent)
    : QWidget(parent)
{
}

void KYBackgroundView::setImageName(const QString &name)
{
    if (!m_images)
        return;
    const QPixmap image = KYSharedImages::named(name);
    m_images->setBackgroundImage(
        image.isNull() ? image : image.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    update();
}

void KYBackgroundView::paintEvent(QPaintEvent *)
{
    const QPixmap image = m_images ? m_images->backgroundImage() : QPixmap();
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(1.0);
    painter.drawPixmap(QPoint(0, 0), image);
}

} // namespace tavoren::installer
