#pragma once

#include "agent/PrintScheduler.h"

#include <chrono>
#include <string>

struct _http_s;

namespace tavoren::agent {

// The system's print scheduler through its client library, over one
// connection made at the first request. Every wait, the connection's and
// each answer's, ends at the time limit: an absent or silent scheduler costs
// that and no more. Use it on one thread: the library keeps its last error
// per thread.
class CupsPrintScheduler final : public PrintScheduler
{
public:
    // Below TAVOREN_ROOT only the root's scheduler socket, never the
    // machine's own scheduler; otherwise the library's default server (its
    // environment, client.conf, the local socket).
    static std::string agentServer();

    // `server` is a host name or the path of a local socket.
    CupsPrintScheduler(std::string server, std::chrono::milliseconds timeout);
    ~CupsPrintScheduler() override;
    CupsPrintScheduler(const CupsPrintScheduler &) = delete;
    CupsPrintScheduler &operator=(const CupsPrintScheduler &) = delete;

    std::string description() const override;
    shared::Expected<std::vector<Job>> unfinishedJobs(const std::string &queue, const std::string &user) override;
    shared::Expected<void> release(const std::string &queue, const std::string &user, int jobId) override;

    // The printer-uri of a queue of this scheduler.
    static std::string printerUri(const std::string &queue);

private:
    shared::Expected<void> connect();

    const std::string m_server;
    const std::chrono::milliseconds m_timeout;
    _http_s *m_http = nullptr;
};

} // namespace tavoren::agent
