#pragma once

#include "printer-backend/JobScheduler.h"

#include <chrono>
#include <string>

struct _http_s;

namespace tavoren::printerbackend {

// The print scheduler through its client library, over one connection made
// at the first request. Every wait, the connection's and each answer's, ends
// at the time limit, and nobody is asked for a password: an absent or silent
// scheduler costs that and no more. Use it on one thread: the library keeps
// its last error per thread.
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
    ~CupsJobScheduler() override;
    CupsJobScheduler(const CupsJobScheduler &) = delete;
    CupsJobScheduler &operator=(const CupsJobScheduler &) = delete;

    std::string description() const override;
    shared::Expected<Listing> unfinishedJobs(const std::string &queue) override;
    shared::Expected<void> cancel(const std::string &queue, int jobId) override;

private:
    // None once connected, otherwise why not.
    shared::Expected<void> connect();

    const std::string m_server;
    const std::chrono::milliseconds m_timeout;
    _http_s *m_http = nullptr;
};

} // namespace tavoren::printerbackend
