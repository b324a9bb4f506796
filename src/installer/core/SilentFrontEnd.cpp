#include "installer/core/SilentFrontEnd.h"

namespace tavoren::installer {

SilentFrontEnd::SilentFrontEnd(std::function<void(int)> quit)
    : m_quit(std::move(quit))
{
}

void SilentFrontEnd::showPackageMissing(const QString &)
{
    m_quit(1);
}

void SilentFrontEnd::helperRegistrationFailed()
{
    m_quit(1);
}

void SilentFrontEnd::displayInstallFinishedView(bool installFailed)
{
    m_quit(installFailed ? 1 : 0);
}

} // namespace tavoren::installer
