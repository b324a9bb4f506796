#pragma once

#include "installer/core/InstallerUser.h"

namespace tavoren::installer {

// The effective user of the process.
class PosixInstallerUser final : public InstallerUser
{
public:
    QString loginName() const override;
    bool isRoot() const override;
};

} // namespace tavoren::installer
