#pragma once

#include <QString>
#include <QWidget>

namespace tavoren::installer {

class KYSharedImages;

// The drag-to-install screen's background: the image the localised
// "backgroundImage" names, drawn whole at the view's origin under the icons.
class KYBackgroundView final : public QWidget
{
    Q_OBJECT

public:
    explicit KYBackgroundView(QWidget *parent = nullptr);
    // The screen's images; the background image is the one drawn.
    void setSharedImages(KYSharedImages *images) { m_images = images; }
    void setImageName(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    KYSharedImages *m_images = nullptr;
};

} // namespace tavoren::installer
