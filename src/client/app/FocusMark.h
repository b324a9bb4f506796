#pragma once

#include <QObject>
#include <QPointer>

class QFocusFrame;
class QWidget;

namespace tavoren::client {

// The focus mark of a client window. The style's own mark on push buttons
// and fields is a faint tint (under 3:1); a ring in the window's text
// colour goes around whichever of them has the focus in `window`. Controls
// with a style sheet of their own draw their mark there (":focus").
class FocusMark final : public QObject
{
    Q_OBJECT

public:
    explicit FocusMark(QWidget *window);

private:
    void follow(QWidget *now);

    QPointer<QWidget> m_window;
    QPointer<QFocusFrame> m_frame;
};

} // namespace tavoren::client
