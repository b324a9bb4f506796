#include "installer/core/InstallerState.h"

namespace tavoren::installer {

QString InstallerState::curUserName() const
{
    std::lock_guard lock(m_mutex);
    return m_curUserName;
}

void InstallerState::setCurUserName(const QString &name)
{
    std::lock_guard lock(m_mutex);
    m_curUserName = name;
}

} // namespace tavoren::installer
