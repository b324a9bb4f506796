#include "printer-backend/BoundedProcess.h"

#include "shared/Descriptor.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavoren::printerbackend {

namespace {
// How the child tells the ends it cannot report.
constexpr int outOfMemoryStatus = 90;
constexpr int unboundedStatus = 91;
constexpr int escapedStatus = 92;

[[noreturn]] void outOfMemory()
{
    // No unwinding: a library that catches every exception would carry on
    // half-built, and the report would need memory too.
    ::_exit(outOfMemoryStatus);
}

// The address space the process has now, in bytes; 0 when unknown.
std::uint64_t addressSpace()
{
    const shared::Descriptor statm(::open("/proc/self/statm", O_RDONLY | O_CLOEXEC));
    if (!statm)
        return 0;
    char text[128];
    ssize_t count;
    do
        count = ::read(statm.get(), text, sizeof text - 1);
    while (count < 0 && errno == EINTR);
    if (count <= 0)
        return 0;
    text[count] = '\0';
    char *end = nullptr;
    const unsigned long long pages = std::strtoull(text, &end, 10);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (end == text || pageSize <= 0)
        return 0;
    return std::uint64_t(pages) * std::uint64_t(pageSize);
}

bool limitAddressSpace(std::uint64_t growth)
{
    const std::uint64_t now = addressSpace();
    if (now == 0)
        return false;
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0)
        return false;
    // Hard as well: the bound is for what the input makes of the work.
    const rlim_t wanted = rlim_t(now + growth);
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > wanted)
        limit.rlim_max = wanted;
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

std::string endedBy(int status)
{
    if (WIFSIGNALED(status)) {
        const char *name = ::strsignal(WTERMSIG(status));
        return "the child ended by signal " + std::to_string(WTERMSIG(status)) + (name ? std::string(" (") + name + ")" : "");
    }
    return "the child ended with status " + std::to_string(WEXITSTATUS(status));
}
} // namespace

BoundedProcess::BoundedProcess(std::uint64_t memoryBytes, Cancellation cancel)
    : m_memoryBytes(memoryBytes)
    , m_cancel(cancel)
{
}

void BoundedProcess::child(int reportFd, const std::function<std::string()> &work) const
{
    std::set_new_handler(outOfMemory);
    if constexpr (boundsMemory) {
        if (!limitAddressSpace(m_memoryBytes))
            ::_exit(unboundedStatus);
    }
    std::string report;
    try {
        report = work();
    } catch (...) {
        ::_exit(escapedStatus);
    }
    if (report.size() > maximumReport)
        report.resize(maximumReport);
    // The exit, not the write, ends the parent's reading: a failed write
    // leaves a report too short to be taken.
    [[maybe_unused]] const bool written = shared::Descriptor::writeAll(reportFd, report);
    ::_exit(0);
}

BoundedProcess::Outcome BoundedProcess::run(const std::function<std::string()> &work) const
{
    Outcome outcome;
    if (m_cancel.requested()) {
        outcome.end = End::Cancelled;
        return outcome;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        outcome.detail = std::string("Could not make a pipe for the child: ") + std::strerror(errno);
        return outcome;
    }
    shared::Descriptor reading(fds[0]);
    shared::Descriptor writing(fds[1]);
    const pid_t pid = ::fork();
    if (pid < 0) {
        outcome.detail = std::string("Could not start the child: ") + std::strerror(errno);
        return outcome;
    }
    if (pid == 0) {
        reading.release();
        child(writing.get(), work);
    }
    writing.reset();

    const bool cancelled = readReport(reading.get(), pid, outcome);
    int status = 0;
    rusage usage{};
    pid_t waited;
    do
        waited = ::wait4(pid, &status, 0, &usage);
    while (waited < 0 && errno == EINTR);
    if (waited == pid)
        outcome.peakKiB = usage.ru_maxrss;
    if (cancelled) {
        outcome.end = End::Cancelled;
        outcome.report.clear();
        return outcome;
    }
    if (!outcome.detail.empty() || waited != pid) {
        if (outcome.detail.empty())
            outcome.detail = std::string("Could not collect the child: ") + std::strerror(errno);
        outcome.report.clear();
        return outcome;
    }
    return judged(status, std::move(outcome));
}

bool BoundedProcess::readReport(int fd, pid_t pid, Outcome &outcome) const
{
    char buffer[1024];
    for (;;) {
        pollfd waits[2] = {{fd, POLLIN, 0}, {m_cancel.fd(), POLLIN, 0}};
        const int ready = ::poll(waits, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (waits[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            // Whatever the child was doing, nobody waits for it any more.
            if (ready < 0)
                outcome.detail = std::string("Could not wait for the child: ") + std::strerror(errno);
            ::kill(pid, SIGKILL);
            return ready > 0;
        }
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        const std::size_t room = maximumReport - std::min(outcome.report.size(), maximumReport);
        outcome.report.append(buffer, std::min(std::size_t(count), room));
    }
}

BoundedProcess::Outcome BoundedProcess::judged(int status, Outcome outcome) const
{
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        outcome.end = End::Reported;
        return outcome;
    }
    outcome.report.clear();
    if (WIFEXITED(status) && WEXITSTATUS(status) == outOfMemoryStatus) {
        outcome.end = End::OutOfMemory;
        outcome.detail = "the child reached its bound of " + std::to_string(m_memoryBytes / (1024 * 1024)) + " MiB";
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == unboundedStatus) {
        outcome.detail = "the child could not bound its address space";
    } else if (WIFSIGNALED(status)) {
        outcome.end = End::Crashed;
        outcome.detail = endedBy(status);
    } else {
        outcome.detail = endedBy(status);
    }
    return outcome;
}

} // namespace tavoren::printerbackend
