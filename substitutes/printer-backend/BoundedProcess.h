#pragma once

#include "printer-backend/Cancellation.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

namespace tavoren::printerbackend {

// Runs work that hostile input may drive to any size in a child process
// whose address space may grow by a bounded amount. A child that reaches the
// bound, crashes or is cancelled takes nothing of the backend with it; the
// work's short report comes back through a pipe.
class BoundedProcess
{
public:
    // Address sanitizers reserve terabytes of address space up front: there
    // the child runs without the bound.
#if defined(__SANITIZE_ADDRESS__)
    static constexpr bool boundsMemory = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    static constexpr bool boundsMemory = false;
#else
    static constexpr bool boundsMemory = true;
#endif
#else
    static constexpr bool boundsMemory = true;
#endif
    // A longer report is cut here.
    static constexpr std::size_t maximumReport = 4096;

    enum class End {
        Reported,    // the work returned its report
        OutOfMemory, // an allocation failed: the bound was reached
        Crashed,     // ended by a signal the backend did not send
        Cancelled,   // killed on the cancellation's request
        Failed,      // could not run, or ended without a report
    };
    struct Outcome
    {
        End end = End::Failed;
        std::string report; // what the work returned
        std::string detail; // why it ended otherwise, for the log
        long peakKiB = 0;   // the child's largest resident size
    };

    BoundedProcess(std::uint64_t memoryBytes, Cancellation cancel = {});

    // `work` runs in the child only; whatever it changes in its memory stays
    // there. It should catch its own exceptions: one that escapes ends the
    // child without a report.
    Outcome run(const std::function<std::string()> &work) const;

private:
    [[noreturn]] void child(int reportFd, const std::function<std::string()> &work) const;
    // Reads the child's report from `fd` into `outcome` until the child
    // closes it; true when cancelled, the child then killed.
    bool readReport(int fd, pid_t pid, Outcome &outcome) const;
    // What the child's exit `status` makes of the outcome.
    Outcome judged(int status, Outcome outcome) const;

    std::uint64_t m_memoryBytes;
    Cancellation m_cancel;
};

} // namespace tavoren::printerbackend
