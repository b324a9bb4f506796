#include "helper-tool/Blessing.h"

#include "helper-tool/PackageStaging.h"
#include "shared/AtomicFile.h"
#include "shared/Descriptor.h"
#include "shared/EnvironmentSetting.h"
#include "shared/FileTree.h"
#include "shared/HelperProtocol.h"
#include "shared/PathName.h"
#include "shared/SharedFolder.h"
#include "shared/Spawn.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace tavoren::helpertool {

namespace {
// A failure whose text is the reason --bless shows.
shared::Error failed(std::string reason)
{
    return shared::Error::because("bless", "", std::move(reason));
}

std::string errorText(int error)
{
    return std::system_category().message(error);
}

// A descriptor above the standard ones, which the daemon gets as /dev/null.
int aboveStandard(int fd)
{
    if (fd > STDERR_FILENO)
        return fd;
    const shared::Descriptor low(fd);
    return ::fcntl(low.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
}
} // namespace

uid_t Blessing::authorisingUid()
{
    const auto uid = shared::EnvironmentSetting::wholeNumber(pkexecVariable, 0, static_cast<long long>(static_cast<uid_t>(-1)) - 1);
    return uid ? static_cast<uid_t>(*uid) : ::getuid();
}

int Blessing::run(std::FILE *errors, const BuiltArtefacts &built)
{
    const auto fail = [errors](const std::string &reason) {
        std::fprintf(errors, "%s: %s\n", shared::HelperProtocol::label, reason.c_str());
        return 1;
    };
    if (::geteuid() != 0)
        return fail("--bless must run as root");
    const auto tool = install();
    if (!tool)
        return fail(tool.error().text);
    if (const auto carried = installCarriedInstaller(built); !carried)
        return fail(carried.error().description());
    if (const auto serving = start(*tool, authorisingUid()); !serving)
        return fail(serving.error().text);
    return 0;
}

shared::Expected<std::string> Blessing::install()
{
    const std::string shown = shared::HelperProtocol::toolFolder;
    const std::string folderPath = shared::SystemPath::resolve(shared::HelperProtocol::toolFolder);
    const std::string parentPath = shared::PathName::parent(folderPath);
    const std::string folderName = shared::PathName::lastComponent(folderPath);
    if (auto made = shared::FileTree::makeFolders(parentPath, 0755, 0755); !made)
        return failed(made.error().description());
    const shared::Descriptor parent(::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent)
        return failed("cannot open the folder above " + shown + ": " + errorText(errno));
    const bool made = ::mkdirat(parent.get(), folderName.c_str(), 0700) == 0;
    if (!made && errno != EEXIST)
        return failed("cannot create " + shown + ": " + errorText(errno));
    const shared::Descriptor folder(::openat(parent.get(), folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder)
        return failed(errno == ELOOP || errno == ENOTDIR ? shown + " is a link or not a folder" : "cannot open " + shown + ": " + errorText(errno));
    struct stat status{};
    if ((made && ::fchmod(folder.get(), 0755) != 0) || ::fstat(folder.get(), &status) != 0)
        return failed("cannot set up " + shown + ": " + errorText(errno));
    if (status.st_uid != 0 || (status.st_mode & S_IWOTH) != 0)
        return failed(shown + " is not owned by root or is writable by others");

    const shared::Descriptor self(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
    if (!self)
        return failed("cannot copy the helper into " + shown + ": " + errorText(errno));
    auto copy = shared::AtomicFile::create(folder.get(), shared::HelperProtocol::label);
    if (!copy)
        return failed("cannot copy the helper into " + shown + ": " + errorText(copy.error().code));
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(self.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0)
            break;
        if (got < 0 || !copy->write(std::string_view(buffer.data(), std::size_t(got))))
            return failed("cannot copy the helper into " + shown + ": " + errorText(errno));
    }
    if (const auto committed = copy->commit(0755, 0, 0); !committed)
        return failed("cannot copy the helper into " + shown + ": " + errorText(committed.error().code));
    return folderPath + "/" + shared::HelperProtocol::label;
}

shared::Expected<void> Blessing::installCarriedInstaller(const BuiltArtefacts &built)
{
    char self[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return shared::Error::system("find", "/proc/self/exe");
    const std::string selfPath(self, std::size_t(length));
    const std::string source = shared::PathName::parent(selfPath) + "/" + shared::HelperProtocol::carriedInstaller;
    const std::string shown = std::string(shared::HelperProtocol::supportFolder) + "/" + shared::HelperProtocol::carriedInstaller;

    const shared::Descriptor from(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status{};
    if (!from || ::fstat(from.get(), &status) != 0)
        return shared::Error::system("read the package installer carried beside the helper", source);
    if (!S_ISREG(status.st_mode))
        return shared::Error::because("read the package installer carried beside the helper", source, "it is not a regular file");
    auto support = shared::SharedFolder::make(shared::SystemPath::resolve(shared::HelperProtocol::supportFolder), shared::SharedFolder::Options::forRootAlone());
    if (!support)
        return support.error();
    auto copy = shared::AtomicFile::create(support->get(), shared::HelperProtocol::carriedInstaller);
    if (!copy)
        return shared::Error::system("copy the package installer into", shown, copy.error().code);
    // Checked on the bytes copied: the carried file may change meanwhile.
    const auto digest = PackageStaging::sha256(from.get(), [&](std::string_view block) { return copy->write(block); });
    if (!digest)
        return shared::Error::system("copy the package installer into", shown, digest.error().code);
    if (*digest != built.installerSha256)
        return shared::Error::because("bless", source, "it is not the package installer this helper was built with");
    if (const auto committed = copy->commit(0700, 0, 0); !committed)
        return shared::Error::system("copy the package installer into", shown, committed.error().code);
    return {};
}

shared::Expected<void> Blessing::start(const std::string &tool, uid_t authorisedUid)
{
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return failed("pipe: " + errorText(errno));
    const shared::Descriptor readEnd(aboveStandard(fds[0]));
    shared::Descriptor writeEnd(aboveStandard(fds[1]));
    if (!readEnd || !writeEnd)
        return failed("pipe: " + errorText(errno));

    shared::Spawn spawn;
    spawn.open(STDIN_FILENO, "/dev/null", O_RDONLY);
    spawn.open(STDOUT_FILENO, "/dev/null", O_WRONLY);
    spawn.duplicate(STDOUT_FILENO, STDERR_FILENO);
    // The same descriptor on both sides keeps it open across the exec.
    spawn.duplicate(writeEnd.get(), writeEnd.get());
    spawn.resetSignals({SIGPIPE, SIGTERM, SIGINT, SIGHUP});
    spawn.newSession();
    const auto started = spawn.start({tool, "--daemon", "--authorised-uid", std::to_string(authorisedUid), "--ready-fd",
                                      std::to_string(writeEnd.get())});
    if (!started)
        return failed("cannot start " + tool + ": " + errorText(started.error().code));
    const pid_t pid = *started;
    writeEnd.reset();

    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(readyWaitSeconds);
    while (line.find('\n') == std::string::npos && line.size() < 1024) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd watched{readEnd.get(), POLLIN, 0};
        const int ready = left > 0 ? ::poll(&watched, 1, int(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return failed("the helper daemon did not report ready within " + std::to_string(readyWaitSeconds) + " seconds");
        }
        char buffer[256];
        const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        line.append(buffer, std::size_t(got));
    }
    if (line == "ready\n")
        return {}; // it serves on, on its own
    ::waitpid(pid, nullptr, 0);
    const std::string prefix = "error: ";
    if (line.rfind(prefix, 0) == 0 && line.back() == '\n')
        return failed("the helper daemon could not start: " + line.substr(prefix.size(), line.size() - prefix.size() - 1));
    return failed("the helper daemon ended before it was serving");
}

} // namespace tavoren::helpertool
