#include "installer/core/KYMirexApp.h"

namespace tavoren::installer {

QString KYMirexApp::pkgName() const
{
    std::lock_guard lock(m_mutex);
    return m_pkgName;
}

void KYMirexApp::setPkgName(const QString &name)
{
    std::lock_guard lock(m_mutex);
    m_pkgName = name;
}

QString KYMirexApp::installedVersion() const
{
    std::lock_guard lock(m_mutex);
    return m_installedVersion;
}

void KYMirexApp::setInstalledVersion(const QString &version)
{
    std::lock_guard lock(m_mutex);
    m_installedVersion = version;
}

} // namespace tavoren::installer
