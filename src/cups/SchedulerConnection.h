#pragma once

#include "shared/Expected.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

struct _http_s;

namespace tavoren::cups {

// The print scheduler through its client library, over one connection made
// at the first request. Every wait, the connection's and each answer's, ends
// at the time limit, and nobody is asked for a password: an absent or silent
// scheduler costs that and no more. Use it on one thread: the library keeps
// its last error per thread. Every failure is an Error of asking "the print
// scheduler"; its text is for the log.
class SchedulerConnection
{
public:
    // What is known when no connection could be made, for the program to
    // put in its own words.
    struct Unreachable
    {
        std::string server;
        bool local;  // `server` is the path of a socket
        int error;   // errno as the attempt left it
        std::string libraryText; // the library's last error text, maybe empty
    };
    using Explain = std::string (*)(const Unreachable &);

    struct Job
    {
        int id = 0;
        // The job-state keyword, "pending-held" for a held job.
        std::string state;
        // Only when asked for.
        std::vector<std::string> reasons;
    };

    struct JobQuery
    {
        std::string queue;
        std::string user;        // the requesting user
        bool usersOwn = false;   // only `user`'s jobs
        bool reasons = false;    // ask for each job's state reasons too
        int limit = 0;           // what the scheduler is asked to list at most
        std::size_t kept = 0;    // jobs taken from the answer at most
    };

    struct Listing
    {
        std::vector<Job> jobs;
        // False when the answer had more than `kept` jobs.
        bool complete = true;
    };

    // The library's default server: its environment, client.conf, the local socket.
    static std::string defaultServer();
    // The user the library names in requests: the process's own.
    static std::string ownUser();
    // The printer-uri of a queue of this scheduler.
    static std::string printerUri(const std::string &queue);

    // `server` is a host name or the path of a local socket.
    SchedulerConnection(std::string server, std::chrono::milliseconds timeout, Explain explainUnreachable);
    ~SchedulerConnection();
    SchedulerConnection(const SchedulerConnection &) = delete;
    SchedulerConnection &operator=(const SchedulerConnection &) = delete;

    // Names the scheduler in log lines.
    std::string description() const;

    // The unfinished jobs of the query's queue.
    shared::Expected<Listing> unfinishedJobs(const JobQuery &query);
    shared::Expected<void> release(const std::string &queue, const std::string &user, int jobId);
    shared::Expected<void> cancel(const std::string &queue, const std::string &user, int jobId);

private:
    shared::Expected<void> connect();
    // Release and cancel: the same request but for its operation.
    shared::Expected<void> changeJob(int operation, const std::string &queue, const std::string &user, int jobId);

    const std::string m_server;
    const std::chrono::milliseconds m_timeout;
    const Explain m_explainUnreachable;
    _http_s *m_http = nullptr;
};

} // namespace tavoren::cups
