#pragma once

#include <QString>

namespace tavoren::installer {

// Who runs the installer: the login name its log records, and whether it
// has root's rights already (silent mode then runs the removal script
// itself instead of asking the helper tool). One implementation per platform.
class InstallerUser
{
public:
    virtual ~InstallerUser() = default;
    // Empty when the user has no account name.
    virtual QString loginName() const = 0;
    virtual bool isRoot() const = 0;
};

} // namespace tavoren::installer
