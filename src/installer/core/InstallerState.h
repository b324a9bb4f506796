#pragma once

#include <QString>
#include <atomic>
#include <mutex>

namespace tavoren::installer {

// The installer's state flags, written on one thread and polled on another
// (installFailed is set by a helper reply while the progress loop reads it),
// so each is an atomic read fresh on every test.
struct InstallerState
{
    std::atomic<bool> isSilentInstall{false};
    std::atomic<bool> isPrivateComputerAccepted{true};
    std::atomic<bool> isTermsAndConditionsAccepted{false};
    std::atomic<bool> isInitializationComplete{false};
    std::atomic<bool> installationInProgress{false};
    std::atomic<bool> uninstallationInProgress{false};
    std::atomic<bool> installFailed{false};

    // The user named on the command line in silent mode, else the login
    // name; only for the log.
    QString curUserName() const;
    void setCurUserName(const QString &name);

private:
    mutable std::mutex m_mutex;
    QString m_curUserName;
};

} // namespace tavoren::installer
