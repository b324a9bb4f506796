#pragma once

#include <QString>
#include <atomic>
#include <mutex>

namespace tavoren::installer {

// The one package the installer installs: filled by detection on a
// background thread and read by the installation on others.
class KYMirexApp
{
public:
    QString pkgName() const;
    void setPkgName(const QString &name);
    QString installedVersion() const;
    void setInstalledVersion(const QString &version);

    std::atomic<bool> isInstalled{false};
    std::atomic<bool> isSelectedForInstall{false};

private:
    mutable std::mutex m_mutex;
    QString m_pkgName;
    QString m_installedVersion;
};

} // namespace tavoren::installer
