#pragma once

#include "cups/SchedulerConnection.h"
#include "printer-backend/JobScheduler.h"

#include <chrono>
#include <string>

namespace tavoren::printerbackend {

// The print scheduler through its client library (see
// cups::SchedulerConnection), asked as the backend's user, root, who sees
// every user's jobs. Use it on one thread.
class CupsJobScheduler final : public JobScheduler
{
public:
    // Milliseconds to wait for the scheduler (1 to 600000) instead of 5 s.
    static constexpr const char *timeoutVariable = "TAVOREN_BACKEND_SCHEDULER_TIMEOUT_MS";
    static std::chrono::milliseconds defaultTimeout();
    // Jobs beyond this many are not listed.
    static constexpr int maximumJobs = 10000;

    // The scheduler that runs the backend names itself in CUPS_SERVER. Without
    // it, below TAVOREN_ROOT only the root's scheduler socket, never the
    // machine's own scheduler; otherwise the library's default server.
    static std::string backendServer();

    // `server` is a host name or the path of a local socket.
    CupsJobScheduler(std::string server, std::chrono::milliseconds timeout);

    std::string description() const override;
    shared::Expected<Listing> unfinishedJobs(const std::string &queue) override;
    shared::Expected<void> cancel(const std::string &queue, int jobId) override;

private:
    cups::SchedulerConnection m_connection;
};

} // namespace tavoren::printerbackend
