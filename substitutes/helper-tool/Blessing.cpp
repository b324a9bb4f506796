#include "helper-tool/Blessing.h"

#include "shared/AtomicFile.h"
#include "helper-tool/HelperPaths.h"
#include "helper-tool/PackageStaging.h"
#include "shared/Descriptor.h"
#include "shared/FileTree.h"
#include "shared/SharedFolder.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace tavoren::helpertool {

namespace {
std::string errorText(int error)
{
    return std::system_category().message(error);
}

// A descriptor above the standard ones, which the daemon gets as /dev/null.
int aboveStandard(int fd)
{
    if (fd > STDERR_FILENO)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return moved;
}
} // namespace

uid_t Blessing::authorisingUid()
{
    const char *value = std::getenv(pkexecVariable);
    if (value && *value) {
        const std::string_view text(value);
        unsigned long long uid = 0;
        const auto parsed = std::from_chars(text.data(), text.data() + text.size(), uid);
        if (parsed.ec == std::errc() && parsed.ptr == text.data() + text.size() && uid < static_cast<uid_t>(-1))
            return static_cast<uid_t>(uid);
    }
    return ::getuid();
}

int Blessing::run(std::FILE *errors, const BuiltArtefacts &built)
{
    const auto fail = [errors](const std::string &reason) {
        std::fprintf(errors, "%s: %s\n", HelperPaths::toolName, reason.c_str());
        return 1;
    };
    if (::geteuid() != 0)
        return fail("--bless must run as root");
    std::string failure;
    const auto tool = install(&failure);
    if (!tool)
        return fail(failure);
    if (const auto carried = installCarriedInstaller(built); !carried)
        return fail(carried.error().description());
    if (const auto notServing = start(*tool, authorisingUid()))
        return fail(*notServing);
    return 0;
}

std::optional<std::string> Blessing::install(std::string *failure)
{
    const std::string shown = HelperPaths::toolFolder;
    const std::string folderPath = shared::SystemPath::resolve(HelperPaths::toolFolder);
    const std::string parentPath = folderPath.substr(0, folderPath.find_last_of('/'));
    const std::string folderName = folderPath.substr(parentPath.size() + 1);
    if (auto made = shared::FileTree::makeFolders(parentPath, 0755, 0755); !made) {
        *failure = made.error().description();
        return std::nullopt;
    }
    const shared::Descriptor parent(::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent) {
        *failure = "cannot open the folder above " + shown + ": " + errorText(errno);
        return std::nullopt;
    }
    const bool made = ::mkdirat(parent.get(), folderName.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) {
        *failure = "cannot create " + shown + ": " + errorText(errno);
        return std::nullopt;
    }
    const shared::Descriptor folder(::openat(parent.get(), folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) {
        *failure = errno == ELOOP || errno == ENOTDIR ? shown + " is a link or not a folder" : "cannot open " + shown + ": " + errorText(errno);
        return std::nullopt;
    }
    struct stat status{};
    if ((made && ::fchmod(folder.get(), 0755) != 0) || ::fstat(folder.get(), &status) != 0) {
        *failure = "cannot set up " + shown + ": " + errorText(errno);
        return std::nullopt;
    }
    if (status.st_uid != 0 || (status.st_mode & S_IWOTH) != 0) {
        *failure = shown + " is not owned by root or is writable by others";
        return std::nullopt;
    }

    const shared::Descriptor self(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
    if (!self) {
        *failure = "cannot copy the helper into " + shown + ": " + errorText(errno);
        return std::nullopt;
    }
    auto copy = shared::AtomicFile::create(folder.get(), HelperPaths::toolName);
    if (!copy) {
        *failure = "cannot copy the helper into " + shown + ": " + errorText(copy.error().code);
        return std::nullopt;
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(self.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0)
            break;
        if (got < 0 || !copy->write(std::string_view(buffer.data(), std::size_t(got)))) {
            *failure = "cannot copy the helper into " + shown + ": " + errorText(errno);
            return std::nullopt;
        }
    }
    if (const auto committed = copy->commit(0755, 0, 0); !committed) {
        *failure = "cannot copy the helper into " + shown + ": " + errorText(committed.error().code);
        return std::nullopt;
    }
    return folderPath + "/" + HelperPaths::toolName;
}

shared::Expected<void> Blessing::installCarriedInstaller(const BuiltArtefacts &built)
{
    char self[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return shared::Error::system("find", "/proc/self/exe");
    const std::string selfPath(self, std::size_t(length));
    const std::string source = selfPath.substr(0, selfPath.find_last_of('/') + 1) + HelperPaths::carriedInstaller;
    const std::string shown = std::string(HelperPaths::supportFolder) + "/" + HelperPaths::carriedInstaller;

    const shared::Descriptor from(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status{};
    if (!from || ::fstat(from.get(), &status) != 0)
        return shared::Error::system("read the package installer carried beside the helper", source);
    if (!S_ISREG(status.st_mode))
        return shared::Error::because("read the package installer carried beside the helper", source, "it is not a regular file");
    auto support = shared::SharedFolder::make(shared::SystemPath::resolve(HelperPaths::supportFolder), shared::SharedFolder::Options::forRootAlone());
    if (!support)
        return support.error();
    auto copy = shared::AtomicFile::create(support->get(), HelperPaths::carriedInstaller);
    if (!copy)
        return shared::Error::system("copy the package installer into", shown, copy.error().code);
    // Checked on the bytes copied: the carried file may change meanwhile.
    const std::string digest = PackageStaging::sha256(from.get(), [&](std::string_view block) { return copy->write(block); });
    if (digest.empty())
        return shared::Error::system("copy the package installer into", shown);
    if (digest != built.installerSha256)
        return shared::Error::because("bless", source, "it is not the package installer this helper was built with");
    if (const auto committed = copy->commit(0700, 0, 0); !committed)
        return shared::Error::system("copy the package installer into", shown, committed.error().code);
    return {};
}

std::optional<std::string> Blessing::start(const std::string &tool, uid_t authorisedUid)
{
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return "pipe: " + errorText(errno);
    const shared::Descriptor readEnd(aboveStandard(fds[0]));
    shared::Descriptor writeEnd(aboveStandard(fds[1]));
    if (!readEnd || !writeEnd)
        return "pipe: " + errorText(errno);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // The same descriptor on both sides keeps it open across the exec.
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), writeEnd.get());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const std::vector<std::string> arguments{tool,          "--daemon", "--authorised-uid", std::to_string(authorisedUid),
                                             "--ready-fd", std::to_string(writeEnd.get())};
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, tool.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return "cannot start " + tool + ": " + errorText(spawned);
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
            return "the helper daemon did not report ready within " + std::to_string(readyWaitSeconds) + " seconds";
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
        return std::nullopt; // it serves on, on its own
    ::waitpid(pid, nullptr, 0);
    const std::string prefix = "error: ";
    if (line.rfind(prefix, 0) == 0 && line.back() == '\n')
        return "the helper daemon could not start: " + line.substr(prefix.size(), line.size() - prefix.size() - 1);
    return "the helper daemon ended before it was serving";
}

} // namespace tavoren::helpertool
