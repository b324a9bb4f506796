#pragma once

#include <QPixmap>
#include <QString>

class QLabel;

namespace tavoren::installer {

// The images the drag-to-install screen's views share: the one the product
// icon shows and drags, and the background; and the image resources by name.
class KYSharedImages
{
public:
    QPixmap sourceIconImage() const { return m_sourceIcon; }
    void setSourceIconImage(const QPixmap &image) { m_sourceIcon = image; }
    QPixmap backgroundImage() const { return m_background; }
    void setBackgroundImage(const QPixmap &image) { m_background = image; }

    // An image resource by its file name ("Alert.png"); a null pixmap when
    // there is none.
    static QPixmap named(const QString &name);
    // Shows the resource `name` in `view`, scaled to the view's size.
    static void show(QLabel *view, const QString &name);

private:
    QPixmap m_sourceIcon;
    QPixmap m_background;
};

} // namespace tavoren::installer
