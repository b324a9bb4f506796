#include "helper-tool/CommandRunner.h"

#include "helper-tool/HelperPaths.h"
#include "shared/Descriptor.h"
#include "shared/Spawn.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavoren::helpertool {

namespace {
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

shared::Expected<int> CommandRunner::run(const std::vector<std::string> &arguments, const OutputLines::Emit &emit)
{
    const auto notStarted = [&arguments](int error) {
        return shared::Error::system("start", arguments.empty() ? std::string() : arguments[0], error);
    };
    shared::Spawn spawn;
    spawn.open(STDIN_FILENO, "/dev/null", O_RDONLY);
    shared::Descriptor readEnd;
    shared::Descriptor writeEnd;
    if (emit) {
        // Only the helper's end waits for nothing; the command writes as usual.
        int pipeFds[2] = {-1, -1};
        const bool piped = ::pipe2(pipeFds, O_CLOEXEC) == 0;
        const int error = errno;
        readEnd = shared::Descriptor(pipeFds[0]);
        writeEnd = shared::Descriptor(pipeFds[1]);
        if (!piped)
            return notStarted(error);
        if (::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK) != 0)
            return notStarted(errno);
        spawn.duplicate(writeEnd.get(), STDOUT_FILENO);
        spawn.duplicate(writeEnd.get(), STDERR_FILENO);
    } else {
        spawn.open(STDOUT_FILENO, "/dev/null", O_WRONLY);
        spawn.duplicate(STDOUT_FILENO, STDERR_FILENO);
    }
    spawn.resetSignals({SIGPIPE, SIGTERM, SIGINT, SIGHUP});

    const auto started = spawn.start(arguments);
    if (!started)
        return notStarted(started.error().code);
    const pid_t pid = *started;
    writeEnd.reset();
    if (!emit)
        return waitFor(pid);

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
                return exitStatus(status);
            }
        }
    }
    lines.finish();
    return waitFor(pid);
}

} // namespace tavoren::helpertool
