#pragma once

#include <QLabel>

namespace tavoren::client {

// The release code as its screen shows it: it takes the focus, and a
// double-click selects the whole code rather than the half the display's
// space sets apart. Ctrl+C is left to the screen, which copies the whole
// code whatever is selected.
class ReleaseCodeLabel final : public QLabel
{
    Q_OBJECT

public:
    explicit ReleaseCodeLabel(QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

} // namespace tavoren::client
