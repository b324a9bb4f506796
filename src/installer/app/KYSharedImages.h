#pragma once

#include <QPixmap>
#include <QString>

namespace tavoren::installer {

// The process-wide images of the drag-to-install screen, and the image
// resources by name.
class KYSharedImages
{
public:
    // The image the product icon shows and drags.
    static QPixmap sourceIconImage();
    static void setSourceIconImage(const QPixmap &image);
    // The drag-to-install screen's background.
    static QPixmap backgroundImage();
    static void setBackgroundImage(const QPixmap &image);

    // An image resource by its file name ("Alert.png"); a null pixmap when
    // there is none.
    static QPixmap named(const QString &name);
};

} // namespace tavoren::installer
