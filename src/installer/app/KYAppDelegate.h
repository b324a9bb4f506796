#pragma once

#include <QObject>

class QWidget;

namespace tavoren::installer {

struct InstallerState;

// The application's delegate: whether the window may close and the
// application end, which is never while a removal or an installation runs.
// Quit requests from outside the window (the session ending, a quit
// shortcut) are held to the same rule.
class KYAppDelegate final : public QObject
{
    Q_OBJECT

public:
    explicit KYAppDelegate(const InstallerState &state, QObject *parent = nullptr);

    bool isSafeToCloseWindow() const;
    bool windowShouldClose(QWidget *window) const;
    bool applicationShouldTerminateAfterLastWindowClosed(QObject *application) const;

private:
    const InstallerState &m_state;
};

} // namespace tavoren::installer
