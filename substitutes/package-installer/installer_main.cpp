// installer: installs a flat package below a target folder.
//   installer -pkg PATH -target DIR [-verboseR | -verbose]
#include "package-installer/Installation.h"
#include "shared/SyslogSystemLog.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char *argv[])
{
    using tavoren::packageinstaller::Installation;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto options = Installation::parse(arguments);
    if (!options) {
        std::fputs(Installation::usage(), stderr);
        return 1;
    }
    tavoren::shared::SyslogSystemLog systemLog;
    Installation installation(*options, stdout, systemLog);
    return installation.run();
}
