#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>

class QFocusFrame;
class QWidget;

namespace tavoren::installer {

// The focus mark of the installer's windows. The style's own mark on check
// boxes, radio buttons and push buttons is a faint tint (under 3:1); a ring
// in the windows' text colour goes around whichever of them has the focus,
// in `root` or a window attached to it. Pictures that take the focus draw a
// blue frame of their own (`paint`).
class KYFocusMark final : public QObject
{
    Q_OBJECT

public:
    explicit KYFocusMark(QWidget *root);

    // Keeps at least 3:1 against the windows' light backgrounds.
    static QColor colour() { return QColor(0x15, 0x65, 0xc0); }
    // Over what the widget has painted, when it has the focus.
    static void paint(QWidget *widget);

private:
    void follow(QWidget *now);

    QPointer<QWidget> m_root;
    QPointer<QFocusFrame> m_frame;
};

} // namespace tavoren::installer
