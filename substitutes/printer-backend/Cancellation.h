#pragma once

#include <optional>

namespace tavoren::printerbackend {

// The scheduler cancels a job with SIGTERM. Every wait of the backend
// watches this descriptor beside its own, so a blocked read ends as soon as
// the request comes, and no check can miss it.
class Cancellation
{
public:
    // Never requested.
    Cancellation() = default;
    // Requested once `fd` turns readable (a byte, or the other end closed).
    // The descriptor stays the caller's.
    explicit Cancellation(int fd) : m_fd(fd) {}

    // From now on `signal` requests the cancellation returned. The handler
    // only writes a byte to a pipe; it is installed without SA_RESTART, so
    // blocking calls return with EINTR as well. Once per process; nullopt
    // (errno set) when the pipe or the handler cannot be had.
    static std::optional<Cancellation> onSignal(int signal);

    int fd() const { return m_fd; }
    bool requested() const;

private:
    int m_fd = -1;
};

} // namespace tavoren::printerbackend
