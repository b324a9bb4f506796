#pragma once

#include "installer/core/InstallerTiming.h"

#include <QString>
#include <functional>
#include <memory>

namespace tavoren::shared {
class Clock;
class SystemLog;
}

namespace tavoren::installer {

class HelperAuthorization;
class HelperChannel;
class InstallerUser;
class ProgressOutput;
class ScriptRunner;
class SystemVersionSource;

// Everything the installer takes from the platform, handed to it whole: the
// program's own pieces (PlatformEnvironment), or fakes in tests. Every piece
// must be set.
struct InstallerEnvironment
{
    explicit InstallerEnvironment(shared::SystemLog &log)
        : systemLog(log)
    {
    }

    // The console of the installer's log; it outlives the installer.
    shared::SystemLog &systemLog;
    // The installer's application bundle; the package lies beside it.
    QString bundlePath;
    InstallerTiming timing;
    std::shared_ptr<HelperChannel> helperChannel;
    std::shared_ptr<HelperAuthorization> authorization;
    std::shared_ptr<shared::Clock> clock;
    std::shared_ptr<SystemVersionSource> systemVersion;
    std::shared_ptr<InstallerUser> user;
    // Runs the removal script itself, as root, in silent mode.
    std::shared_ptr<ScriptRunner> scriptRunner;
    // Where silent mode writes its progress lines.
    std::shared_ptr<ProgressOutput> progressOutput;
    // The text of a localisation key; the key itself when it has none.
    std::function<QString(const QString &key)> localized;
};

} // namespace tavoren::installer
