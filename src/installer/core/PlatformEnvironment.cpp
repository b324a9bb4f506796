#include "installer/core/PlatformEnvironment.h"

#include "installer/core/FileSystemVersionSource.h"
#include "installer/core/KYGlobalConstants.h"
#include "installer/core/PkexecHelperAuthorization.h"
#include "installer/core/PosixInstallerUser.h"
#include "installer/core/ProcessScriptRunner.h"
#include "installer/core/StandardProgressOutput.h"
#include "installer/core/UnixHelperChannel.h"
#include "shared/HelperProtocol.h"
#include "shared/MachineClock.h"
#include "shared/SystemPath.h"

namespace tavoren::installer {

InstallerEnvironment PlatformEnvironment::make(const QString &bundlePath, shared::SystemLog &systemLog)
{
    InstallerEnvironment environment(systemLog);
    environment.bundlePath = bundlePath;
    environment.timing = InstallerTiming::fromEnvironment();
    environment.helperChannel =
        std::make_shared<UnixHelperChannel>(shared::SystemPath::resolve(shared::HelperProtocol::socket));
    environment.authorization = std::make_shared<PkexecHelperAuthorization>(
        bundlePath, QString::fromStdString(shared::SystemPath::resolve(KYGlobalConstants::pkexec)));
    environment.clock = std::make_shared<shared::MachineClock>();
    environment.systemVersion = std::make_shared<FileSystemVersionSource>();
    environment.user = std::make_shared<PosixInstallerUser>();
    environment.scriptRunner = std::make_shared<ProcessScriptRunner>();
    environment.progressOutput = std::make_shared<StandardProgressOutput>();
    return environment;
}

} // namespace tavoren::installer
