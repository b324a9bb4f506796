#pragma once

#include "installer/core/InstallerUser.h"

#include <atomic>

namespace tavoren::testsupport {

// Who the installer takes itself to run as: "alice", not root, unless the
// test says otherwise.
class FakeInstallerUser final : public installer::InstallerUser
{
public:
    void setRoot(bool root) { m_root = root; }

    QString loginName() const override { return QStringLiteral("alice"); }
    bool isRoot() const override { return m_root; }

private:
    std::atomic<bool> m_root{false};
};

} // namespace tavoren::testsupport
