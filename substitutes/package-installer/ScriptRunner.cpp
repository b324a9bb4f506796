#include "package-installer/ScriptRunner.h"

#include "shared/Descriptor.h"
#include "shared/PathName.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace tavoren::packageinstaller {

namespace {
std::vector<std::string> environmentFor(const ScriptRunner::Call &call)
{
    const std::vector<std::pair<std::string, std::string>> added = {
        {"PACKAGE_PATH", call.packagePath},
        {"DSTROOT", call.target},
        {"DSTVOLUME", call.target},
        {"INSTALLER_TEMP", call.temporaryFolder},
    };
    std::vector<std::string> result;
    for (char **variable = environ; variable && *variable; ++variable) {
        const std::string_view text(*variable);
        bool replaced = false;
        for (const auto &[name, value] : added)
            replaced = replaced || (text.size() > name.size() && text.substr(0, name.size()) == name && text[name.size()] == '=');
        if (!replaced)
            result.emplace_back(text);
    }
    for (const auto &[name, value] : added)
        result.push_back(name + "=" + value);
    return result;
}

// The reason is the whole sentence: the installer shows it as it is.
shared::Error failed(const ScriptRunner::Call &call, std::string sentence)
{
    return shared::Error::because("run", call.script, std::move(sentence));
}

std::vector<char *> pointers(std::vector<std::string> &strings)
{
    std::vector<char *> result;
    for (std::string &text : strings)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// Hands each line read from `fd` to the sink until the writers are gone;
// a line longer than longestLine goes in pieces.
void relayLines(int fd, const ScriptRunner::LineSink &sink)
{
    std::string pending;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        pending.append(buffer, std::size_t(got));
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = pending.find('\n', start);
            if (end == std::string::npos) {
                while (pending.size() - start >= ScriptRunner::longestLine) {
                    sink(std::string_view(pending).substr(start, ScriptRunner::longestLine));
                    start += ScriptRunner::longestLine;
                }
                break;
            }
            for (std::size_t piece = start; piece < end; piece += ScriptRunner::longestLine)
                sink(std::string_view(pending).substr(piece, std::min(ScriptRunner::longestLine, end - piece)));
            if (end == start)
                sink({});
            start = end + 1;
        }
        pending.erase(0, start);
    }
    if (!pending.empty())
        sink(pending);
}

} // namespace

shared::Expected<void> ScriptRunner::run(const Call &call, const LineSink &sink)
{
    const std::string what = "The " + call.name + " script";
    std::vector<std::string> arguments = {call.script, call.packagePath, call.target, call.target};
    std::vector<std::string> environment = environmentFor(call);
    std::vector<char *> argv = pointers(arguments);
    std::vector<char *> envp = pointers(environment);
    const std::string folder = shared::PathName::parent(call.script);

    int output[2];
    int failure[2];
    if (::pipe2(output, O_CLOEXEC) != 0)
        return failed(call, what + " could not be started: " + std::strerror(errno) + ".");
    shared::Descriptor readOutput(output[0]);
    shared::Descriptor writeOutput(output[1]);
    if (::pipe2(failure, O_CLOEXEC) != 0)
        return failed(call, what + " could not be started: " + std::strerror(errno) + ".");
    shared::Descriptor readFailure(failure[0]);
    shared::Descriptor writeFailure(failure[1]);

    const pid_t child = ::fork();
    if (child < 0)
        return failed(call, what + " could not be started: " + std::strerror(errno) + ".");
    if (child == 0) {
        // Only async-signal-safe calls from here to exec.
        const int input = ::open("/dev/null", O_RDONLY);
        int error = 0;
        if (input < 0 || ::dup2(input, STDIN_FILENO) < 0 || ::dup2(writeOutput.get(), STDOUT_FILENO) < 0
            || ::dup2(writeOutput.get(), STDERR_FILENO) < 0 || ::chdir(folder.c_str()) != 0)
            error = errno;
        if (error == 0) {
            ::signal(SIGPIPE, SIG_DFL);
            ::signal(SIGXFSZ, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execve(argv[0], argv.data(), envp.data());
            error = errno;
        }
        shared::Descriptor::writeAll(writeFailure.get(), std::string_view(reinterpret_cast<const char *>(&error), sizeof error));
        ::_exit(127);
    }
    writeOutput.reset();
    writeFailure.reset();

    relayLines(readOutput.get(), sink);

    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return failed(call, what + " could not be waited for: " + std::strerror(errno) + ".");
    }
    int error = 0;
    if (::read(readFailure.get(), &error, sizeof error) == ssize_t(sizeof error))
        return failed(call, what + " could not be run: " + std::strerror(error) + ".");
    if (WIFSIGNALED(status))
        return failed(call, what + " was ended by signal " + std::to_string(WTERMSIG(status)) + ".");
    if (WEXITSTATUS(status) != 0)
        return failed(call, what + " failed with exit status " + std::to_string(WEXITSTATUS(status)) + ".");
    return {};
}

} // namespace tavoren::packageinstaller
