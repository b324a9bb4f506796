// com.kyr.InstallerHelperTool: the installer's privileged helper.
//   --bless                                      install this copy and start the daemon (root)
//   --daemon --authorised-uid N [--ready-fd K]   the daemon
#include "helper-tool/Blessing.h"
#include "helper-tool/BuiltArtefacts.h"
#include "helper-tool/HelperArguments.h"
#include "helper-tool/HelperDaemon.h"
#include "shared/SyslogSystemLog.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    using namespace tavoren::helpertool;
    const auto arguments = HelperArguments::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!arguments) {
        std::fputs(HelperArguments::usage().c_str(), stderr);
        return 1;
    }
    if (arguments->mode == HelperArguments::Mode::Bless)
        return Blessing::run(stderr, BuiltArtefacts::ofThisBuild());
    HelperDaemon::closeInheritedDescriptors(arguments->readyFd);
    DaemonSettings settings;
    settings.authorisedUid = arguments->authorisedUid;
    settings.built = BuiltArtefacts::ofThisBuild();
    settings.readyFd = arguments->readyFd;
    settings.idleTime = DaemonSettings::idleTimeFromEnvironment();
    tavoren::shared::SyslogSystemLog log;
    HelperDaemon daemon(settings, log);
    return daemon.run();
}
