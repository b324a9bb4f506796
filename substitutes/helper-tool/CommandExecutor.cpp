#include "helper-tool/CommandExecutor.h"

#include "helper-tool/AdminFile.h"
#include "helper-tool/CommandRunner.h"
#include "helper-tool/HelperPaths.h"
#include "helper-tool/ProgressFile.h"
#include "shared/Descriptor.h"
#include "shared/SystemLog.h"
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

Reply endedWith(const std::string &what, const CommandRunner::Result &result)
{
    if (!result.started)
        return Reply::failed("could not start " + what + ": " + errorText(result.error));
    return Reply::completed(result.status, what + " ended with status " + std::to_string(result.status));
}
} // namespace

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
    return endedWith("ls", CommandRunner::run({"/bin/ls", shared::SystemPath::resolve(HelperPaths::probeFolder)}, {}));
}

Reply CommandExecutor::removal() const
{
    const std::string script = shared::SystemPath::resolve(HelperPaths::uninstallScript);
    // The script runs as root: it must be root's alone, and not a link.
    const shared::Descriptor file(::open(script.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status{};
    if (!file || ::fstat(file.get(), &status) != 0)
        return Reply::refused(std::string("cannot open ") + HelperPaths::uninstallScript + ": " + errorText(errno));
    if (!onlyRootChanges(status))
        return Reply::refused(std::string(HelperPaths::uninstallScript) + " is not a regular file that only root can change");
    const auto result = CommandRunner::run({"/bin/sh", script}, [](std::string_view line) {
        line.remove_suffix(1);
        shared::SystemLog::instance().write("Uninstall.sh: " + std::string(line));
    });
    return endedWith("Uninstall.sh", result);
}

Reply CommandExecutor::installation(const std::string &packagePath, uid_t requester) const
{
    const std::string installer = shared::SystemPath::resolve(HelperPaths::packageInstaller);
    struct stat status{};
    if (::stat(installer.c_str(), &status) != 0)
        return Reply::failed(std::string("could not start ") + HelperPaths::packageInstaller + ": " + errorText(errno));
    if (!onlyRootChanges(status))
        return Reply::refused(std::string(HelperPaths::packageInstaller) + " is not a regular file that only root can change");

    auto created = ProgressFile::create(requester);
    if (auto *refusal = std::get_if<Reply>(&created))
        return *refusal;
    ProgressFile &progress = std::get<ProgressFile>(created);
    bool written = true;
    const auto result = CommandRunner::run({installer, "-pkg", packagePath, "-target", "/", "-verboseR"},
                                           [&](std::string_view line) { written = progress.writeLine(line) && written; });
    if (!result.started)
        return endedWith(HelperPaths::packageInstaller, result);
    written = progress.writeLine("Installation_Done " + std::to_string(result.status) + "\n") && written;
    if (!written)
        return Reply::failed(std::string("could not write the progress file; ") + HelperPaths::packageInstaller + " ended with status "
                             + std::to_string(result.status));
    return endedWith(HelperPaths::packageInstaller, result);
}

} // namespace tavoren::helpertool
