#include "installer/app/KYSharedImages.h"

#include <QLabel>

namespace tavoren::installer {

QPixmap KYSharedImages::named(const QString &name)
{
    return QPixmap(QStringLiteral(":/images/") + name);
}

void KYSharedImages::show(QLabel *view, const QString &name)
{
    const QPixmap image = named(name);
    view->setPixmap(image.isNull() ? image : image.scaled(view->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace tavoren::installer
