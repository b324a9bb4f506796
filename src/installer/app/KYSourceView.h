#pragma once

#include <QLabel>
#include <QPoint>

namespace tavoren::installer {

class KYNotificationCenter;
class KYSharedImages;
struct InstallerState;

// The product icon on the drag-to-install screen: inert until detection
// has ended, it asks for the terms while they are not accepted, and is
// dragged onto the destination once they are. A drag dropped anywhere else
// slides back to where it started. Space or Return on it does what the
// drop does, for whoever cannot drag.
class KYSourceView final : public QLabel
{
    Q_OBJECT

public:
    // The private drag type: the drag carries no data, it only connects
    // the two icons.
    static constexpr const char *kPrivateDragObject = "com.kyr.sourceIconObject";

    explicit KYSourceView(QWidget *parent = nullptr);

    // The flags that decide what a click does.
    void setState(const InstallerState *state) { m_state = state; }
    // Where a click before the terms are accepted is posted.
    void setNotificationCenter(KYNotificationCenter *center) { m_center = center; }
    // The screen's images; the source icon image is the one shown.
    void setSharedImages(const KYSharedImages *images);
    // Shows (and drags) the source icon image.
    void refreshImage();

signals:
    // A drag has ended outside the destination; the icon slides back.
    void slidBack();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Where the picture sits in the view (it is centred).
    QPoint pictureOrigin() const;
    void startDrag(const QPoint &pressedAt);
    // `from`: the dragged picture's top left corner on the screen.
    void slideBack(const QPoint &from);

    const InstallerState *m_state = nullptr;
    KYNotificationCenter *m_center = nullptr;
    const KYSharedImages *m_images = nullptr;
};

} // namespace tavoren::installer
