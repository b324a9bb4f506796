#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>

class QFocusFrame;
class QWidget;

namespace tavoren::shared {

// The focus mark of the client's and the installer's windows. The style's
// own mark on push, check and radio buttons and on fields is a faint tint
// (under 3:1); a ring in the window's text colour goes around whichever of
// them has the focus in `window` or a window attached to it. Controls with a
// style sheet of their own draw their mark there (":focus"); pictures that
// take the focus draw a frame of `colour()` (`paint`).
class FocusMark final : public QObject
{
    Q_OBJECT

public:
    explicit FocusMark(QWidget *window);

    // Keeps at least 3:1 against the windows' light backgrounds.
    static QColor colour() { return QColor(0x15, 0x65, 0xc0); }
    // Over what the widget has painted, when it has the focus.
    static void paint(QWidget *widget);

private:
    void follow(QWidget *now);

    QPointer<QWidget> m_window;
    QPointer<QFocusFrame> m_frame;
};

} // namespace tavoren::shared
