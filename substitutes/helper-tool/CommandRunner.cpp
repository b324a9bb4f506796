#include "helper-tool/CommandRunner.h"

#include "helper-tool/HelperPaths.h"
#include "shared/Descriptor.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace tavoren::helpertool {

namespace {
// Frees the spawn attributes however the function is left.
struct SpawnSettings
{
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    SpawnSettings()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSettings()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings &) = delete;
    SpawnSettings &operator=(const SpawnSettings &) = delete;
};

int exitStatus(int waitStatus)
{
    if (WIFSIGNALED(waitStatus))
        return 128 + WTERMSIG(waitStatus);
    return WEXITSTATUS(waitStatus);
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return exitStatus(status);
}

// Reads what is there without waiting; false at the end of the output.
bool readAvailable(int fd, OutputLines &lines)
{
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            lines.add(std::string_view(buffer, std::size_t(got)));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 && errno == EAGAIN;
    }
}
} // namespace

CommandRunner::Result CommandRunner::run(const std::vector<std::string> &arguments, const OutputLines::Emit &emit)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);

    SpawnSettings settings;
    posix_spawn_file_actions_addopen(&settings.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    int pipeFds[2] = {-1, -1};
    if (emit) {
        // Only the helper's end waits for nothing; the command writes as usual.
        if (::pipe2(pipeFds, O_CLOEXEC) != 0 || ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK) != 0) {
            const int error = errno;
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            return {false, error, 0};
        }
        posix_spawn_file_actions_adddup2(&settings.actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&settings.actions, pipeFds[1], STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&settings.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&settings.actions, STDOUT_FILENO, STDERR_FILENO);
    }
    const shared::Descriptor readEnd(pipeFds[0]);
    shared::Descriptor writeEnd(pipeFds[1]);

    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&settings.attributes, &none);
    posix_spawnattr_setsigdefault(&settings.attributes, &defaults);
    posix_spawnattr_setflags(&settings.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &settings.actions, &settings.attributes, argv.data(), environ);
    if (spawned != 0)
        return {false, spawned, 0};
    writeEnd.reset();
    if (!emit)
        return {true, 0, waitFor(pid)};

    OutputLines lines(HelperPaths::maximumPiece, emit);
    // The end of the command, not of its output, ends the run: something it
    // left running may hold the pipe open.
    const shared::Descriptor ended(int(::syscall(SYS_pidfd_open, pid, 0)));
    bool open = true;
    while (open) {
        pollfd watched[2] = {{readEnd.get(), POLLIN, 0}, {ended.get(), POLLIN, 0}};
        const int ready = ::poll(watched, ended ? 2 : 1, ended ? -1 : 100);
        if (ready < 0 && errno != EINTR)
            break;
        open = readAvailable(readEnd.get(), lines);
        if (ended && (watched[1].revents & POLLIN)) {
            readAvailable(readEnd.get(), lines);
            break;
        }
        if (!ended) {
            int status = 0;
            const pid_t gone = ::waitpid(pid, &status, WNOHANG);
            if (gone == pid) {
                readAvailable(readEnd.get(), lines);
                lines.finish();
                return {true, 0, exitStatus(status)};
            }
        }
    }
    lines.finish();
    return {true, 0, waitFor(pid)};
}

} // namespace tavoren::helpertool
