#include "printer-backend/Cancellation.h"

#include "shared/Descriptor.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tavoren::printerbackend {

namespace {
volatile std::sig_atomic_t signalWriteFd = -1;

extern "C" void noteSignal(int)
{
    const int saved = errno;
    const int fd = signalWriteFd;
    if (fd >= 0) {
        // A full pipe already says it all.
        [[maybe_unused]] const ssize_t written = ::write(fd, "x", 1);
    }
    errno = saved;
}
} // namespace

std::optional<Cancellation> Cancellation::onSignal(int signal)
{
    if (signalWriteFd >= 0) {
        errno = EBUSY;
        return std::nullopt;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return std::nullopt;
    // Closed again, errno kept, unless the handler is in place.
    shared::Descriptor readEnd(fds[0]);
    shared::Descriptor writeEnd(fds[1]);
    signalWriteFd = writeEnd.get();
    struct sigaction action{};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked call returns
    if (::sigaction(signal, &action, nullptr) != 0) {
        signalWriteFd = -1;
        return std::nullopt;
    }
    // Both ends stay open as long as the process: the handler writes to
    // one, and the byte is never read, so the other stays readable.
    writeEnd.release();
    return Cancellation(readEnd.release());
}

bool Cancellation::requested() const
{
    if (m_fd < 0)
        return false;
    pollfd check{m_fd, POLLIN, 0};
    int ready;
    do
        ready = ::poll(&check, 1, 0);
    while (ready < 0 && errno == EINTR);
    return ready > 0 && (check.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

} // namespace tavoren::printerbackend
