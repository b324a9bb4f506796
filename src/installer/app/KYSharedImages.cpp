#include "installer/app/KYSharedImages.h"

namespace tavoren::installer {

namespace {
QPixmap &sourceIcon()
{
    static QPixmap image;
    return image;
}

QPixmap &background()
{
    static QPixmap image;
    return image;
}
} // namespace

QPixmap KYSharedImages::sourceIconImage()
{
    return sourceIcon();
}

void KYSharedImages::setSourceIconImage(const QPixmap &image)
{
    sourceIcon() = image;
}

QPixmap KYSharedImages::backgroundImage()
{
    return background();
}

void KYSharedImages::setBackgroundImage(const QPixmap &image)
{
    background() = image;
}

QPixmap KYSharedImages::named(const QString &name)
{
    return QPixmap(QStringLiteral(":/images/") + name);
}

} // namespace tavoren::installer
