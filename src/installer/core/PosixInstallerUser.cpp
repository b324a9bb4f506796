#include "installer/core/PosixInstallerUser.h"

#include "shared/LoginName.h"

#include <unistd.h>

namespace tavoren::installer {

QString PosixInstallerUser::loginName() const
{
    return QString::fromStdString(shared::LoginName::current().value_or(std::string()));
}

bool PosixInstallerUser::isRoot() const
{
    return ::geteuid() == 0;
}

} // namespace tavoren::installer
