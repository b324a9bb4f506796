#pragma once

#include <QLabel>
#include <QPoint>

namespace tavoren::installer {

struct InstallerState;

// The product icon on the drag-to-install screen: inert until detection
// has ended, it asks for the terms while they are not accepted, and is
// dragged onto the destination once they are. A drag dropped anywhere else
// slides back to where it started.
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
    // Shows (and drags) the process's source icon image.
    void refreshImage();

signals:
    // A drag has ended outside the destination; the icon slides back.
    void slidBack();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    // Where the picture sits in the view (it is centred).
    QPoint pictureOrigin() const;
    void startDrag(const QPoint &pressedAt);
    // `from`: the dragged picture's top left corner on the screen.
    void slideBack(const QPoint &from);

    const InstallerState *m_state = nullptr;
};

} // namespace tavoren::installer
