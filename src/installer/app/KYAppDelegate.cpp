#include "installer/app/KYAppDelegate.h"

#include "installer/core/InstallerState.h"

namespace tavoren::installer {

KYAppDelegate::KYAppDelegate(const InstallerState &state, QObject *parent)
    : QObject(parent)
    , m_state(state)
{
}

bool KYAppDelegate::isSafeToCloseWindow() const
{
    return !m_state.uninstallationInProgress && !m_state.installationInProgress;
}

bool KYAppDelegate::windowShouldClose(QWidget *) const
{
    return isSafeToCloseWindow();
}

bool KYAppDelegate::applicationShouldTerminateAfterLastWindowClosed(QObject *) const
{
    return isSafeToCloseWindow();
}

} // namespace tavoren::installer
