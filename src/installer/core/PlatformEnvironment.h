#pragma once

#include "installer/core/InstallerEnvironment.h"

namespace tavoren::installer {

// The installer's pieces on this platform: the helper tool's socket, pkexec,
// the steady clock, the system's version files, the process's user, the
// shell for the removal script, standard output, and timing from the
// process environment.
class PlatformEnvironment
{
public:
    static InstallerEnvironment make(const QString &bundlePath, shared::SystemLog &systemLog);
};

} // namespace tavoren::installer
