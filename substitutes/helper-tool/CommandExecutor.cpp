#include "helper-tool/CommandExecutor.h"

#include "helper-tool/AdminFile.h"
#include "helper-tool/CommandRunner.h"
#include "helper-tool/PackageStaging.h"
#include "helper-tool/ProgressFile.h"
#include "shared/Descriptor.h"
#include "shared/HelperProtocol.h"
#include "shared/InstalledPaths.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>

namespace tavoren::helpertool {

namespace {
std::string errorText(int error)
{
    return std::system_category().message(error);
}

bool onlyRootChanges(const struct stat &status)
{
    return S_ISREG(status.st_mode) && status.st_uid == 0 && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

Reply endedWith(const std::string &what, const shared::Expected<int> &status)
{
    if (!status)
        return Reply::failed("could not start " + what + ": " + errorText(status.error().code));
    return Reply::completed(*status, what + " ended with status " + std::to_string(*status));
}
} // namespace

CommandExecutor::CommandExecutor(BuiltArtefacts built, shared::SystemLog &log)
    : m_built(std::move(built))
    , m_log(log)
{
}

Reply CommandExecutor::execute(const HelperCommand &command, uid_t requester) const
{
    switch (command.kind) {
    case HelperCommand::Kind::Probe:
        return probe();
    case HelperCommand::Kind::Removal:
        return removal();
    case HelperCommand::Kind::Installation:
        return installation(command.packagePath, requester);
    case HelperCommand::Kind::AdminWrite:
        break;
    }
    return AdminFile::setPrivateInstall(command.privateInstall);
}

Reply CommandExecutor::probe() const
{
    return endedWith("ls", CommandRunner::run({"/bin/ls", shared::SystemPath::resolve(shared::HelperProtocol::probeFolder)}, {}));
}

Reply CommandExecutor::removal() const
{
    const std::string script = shared::SystemPath::resolve(shared::InstalledPaths::uninstallScript);
    // The script runs as root: it must be root's alone, and not a link.
    const shared::Descriptor file(::open(script.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status{};
    if (!file || ::fstat(file.get(), &status) != 0)
        return Reply::refused(std::string("cannot open ") + shared::InstalledPaths::uninstallScript + ": " + errorText(errno));
    if (!onlyRootChanges(status))
        return Reply::refused(std::string(shared::InstalledPaths::uninstallScript) + " is not a regular file that only root can change");
    // The installer removes an installed version only to install over it:
    // the queue, its jobs, the settings and the running agents stay.
    const auto result = CommandRunner::run({shared::HelperProtocol::shell, script, shared::HelperProtocol::upgradeArgument}, [this](std::string_view line) {
        line.remove_suffix(1);
        m_log.write("Uninstall.sh: " + std::string(line));
    });
    return endedWith("Uninstall.sh", result);
}

shared::Expected<std::string> CommandExecutor::packageInstaller() const
{
    const std::string own = shared::SystemPath::resolve(shared::HelperProtocol::packageInstaller);
    const std::string carried
        = shared::SystemPath::resolve(std::string(shared::HelperProtocol::supportFolder) + "/" + shared::HelperProtocol::carriedInstaller);
    struct stat status{};
    std::string shown = shared::HelperProtocol::packageInstaller;
    std::string path = own;
    if (::stat(own.c_str(), &status) != 0) {
        if (errno != ENOENT)
            return shared::Error::system("start", shown);
        shown = std::string(shared::HelperProtocol::supportFolder) + "/" + shared::HelperProtocol::carriedInstaller;
        path = carried;
        if (::stat(carried.c_str(), &status) != 0)
            return shared::Error::system("start", shown);
    }
    if (!onlyRootChanges(status))
        return shared::Error::because("start", shown, "it is not a regular file that only root can change");
    return path;
}

Reply CommandExecutor::installation(const std::string &packagePath, uid_t requester) const
{
    const auto installer = packageInstaller();
    if (!installer) {
        const shared::Error &error = installer.error();
        // The words of earlier replies, which the installer's log shows.
        if (error.code != 0)
            return Reply::failed("could not start " + error.subject + ": " + errorText(error.code));
        return Reply::refused(error.subject + " is not a regular file that only root can change");
    }
    const auto staged = PackageStaging::stage(packagePath, shared::SystemPath::resolve(shared::HelperProtocol::supportFolder), m_built);
    if (!staged) {
        const shared::Error &error = staged.error();
        if (error.code == 0)
            return Reply::refused("the package is not the driver package this helper was built with");
        return Reply::failed(error.description());
    }

    auto created = ProgressFile::create(requester);
    if (!created)
        return Reply::failed(created.error().text);
    ProgressFile &progress = *created;
    bool written = true;
    const auto result = CommandRunner::run({*installer, "-pkg", staged->path(), "-target", "/", "-verboseR"},
                                           [&](std::string_view line) { written = progress.writeLine(line).hasValue() && written; });
    if (!result)
        return endedWith(shared::HelperProtocol::packageInstaller, result);
    const int status = *result;
    written = progress.writeLine(std::string(shared::HelperProtocol::installationDone) + " " + std::to_string(status) + "\n").hasValue() && written;
    if (!written)
        return Reply::failed(std::string("could not write the progress file; ") + shared::HelperProtocol::packageInstaller + " ended with status "
                             + std::to_string(status));
    return endedWith(shared::HelperProtocol::packageInstaller, result);
}

} // namespace tavoren::helpertool
