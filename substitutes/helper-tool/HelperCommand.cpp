#include "helper-tool/HelperCommand.h"

#include "helper-tool/CommandLine.h"
#include "helper-tool/Reply.h"
#include "shared/HelperProtocol.h"
#include "shared/InstalledPaths.h"

#include <vector>

namespace tavoren::helpertool {

namespace {
using Words = std::vector<std::string>;

const std::string adminSetYes = "Set :IsPrivateInstall YES";
const std::string adminSetNo = "Set :IsPrivateInstall NO";
} // namespace

bool HelperCommand::isMediumPackage(const std::string &path)
{
    const std::string suffix = shared::HelperProtocol::mediumPackage;
    if (path.size() < suffix.size() || path.front() != '/' || path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string_view component = std::string_view(path).substr(start, end - start);
        if (component.empty() || component == "." || component == "..")
            return false;
        start = end + 1;
    }
    return true;
}

shared::Expected<HelperCommand> HelperCommand::classify(const HelperRequest &request)
{
    const auto split = CommandLine::split(request.command);
    if (!split)
        return split.error();
    const Words &words = *split;

    HelperCommand command;
    if (words == Words{"ls", shared::HelperProtocol::probeFolder}) {
        command.kind = Kind::Probe;
    } else if (words == Words{shared::HelperProtocol::shell, shared::InstalledPaths::uninstallScript}) {
        command.kind = Kind::Removal;
    } else if (words.size() == 4 && words[0] == shared::HelperProtocol::plistBuddy && words[1] == "-c"
               && (words[2] == adminSetYes || words[2] == adminSetNo) && words[3] == shared::InstalledPaths::adminFile) {
        command.kind = Kind::AdminWrite;
        command.privateInstall = words[2] == adminSetYes;
    } else if (words.size() == 6 && words[0] == shared::HelperProtocol::packageInstaller && words[1] == "-pkg" && words[3] == "-target"
               && words[4] == "/" && words[5] == "-verboseR") {
        if (!isMediumPackage(words[2]))
            return Reply::refusal("the package path is not the driver package of a medium");
        command.kind = Kind::Installation;
        command.packagePath = words[2];
    } else {
        return Reply::refusal("the command line is not one the helper runs");
    }

    if (command.kind == Kind::Installation) {
        if (request.progressPath != shared::HelperProtocol::progressFile)
            return Reply::refusal(std::string("the installation's progress file must be \"") + shared::HelperProtocol::progressFile + "\"");
    } else if (request.progressPath) {
        return Reply::refusal("this command takes no progress file");
    }
    return command;
}

} // namespace tavoren::helpertool
