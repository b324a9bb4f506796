#pragma once

#include "release-service/Call.h"
#include "release-service/Fault.h"
#include "release-service/JobRecord.h"
#include "release-service/RequestRecord.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
class ContentReader;
struct Request;
struct Response;
} // namespace httplib

namespace tavoren::releaseservice {

// A substitute release service on loopback with the three calls: service
// time, job creation from a signed multipart upload, and job status through
// a configurable status sequence. It keeps what it received and can be told
// to misbehave per call. Runs on threads of its own.
class ReleaseService
{
public:
    struct Options
    {
        std::string host = "127.0.0.1";
        int port = 0; // 0: any free port
        std::string certFile; // HTTPS when both are set
        std::string keyFile;
        std::string storageDir = "."; // where received files are kept
        std::vector<std::int64_t> statusSequence{1, 4}; // the last one repeats
        std::int64_t windowSeconds = 300;
        std::int64_t clockOffsetSeconds = 0; // service clock minus system clock
        std::function<void(const RequestRecord &)> onRequest; // called for each answered request
    };

    explicit ReleaseService(Options options);
    ~ReleaseService();
    ReleaseService(const ReleaseService &) = delete;
    ReleaseService &operator=(const ReleaseService &) = delete;

    // Returns once the service listens, or false when it cannot.
    bool start();
    void stop();
    int port() const { return m_port; }
    bool isSecure() const;

    // Replaces the fault of a call; its request count starts again.
    void setFault(Call call, Fault fault);
    void clearFaults();

    std::vector<JobRecord> jobs() const;
    std::vector<RequestRecord> requests() const;
    // The service clock in seconds since 1970.
    std::int64_t now() const;

private:
    struct JobState
    {
        JobRecord record;
        std::size_t polls = 0;
    };

    std::optional<Fault> faultFor(Call call);
    bool answerFault(const Fault &fault, const httplib::Request &request, httplib::Response &response);
    void editAnswer(const Fault &fault, httplib::Response &response) const;
    std::string authenticate(const httplib::Request &request, std::string_view method, std::string_view docId) const;
    void record(Call call, const httplib::Request &request, const httplib::Response &response, bool faulted,
                int status);
    void waitFor(std::chrono::milliseconds delay) const;
    std::string newDocId();
    std::string jobJson(const JobState &job, std::int64_t status) const;

    void serverTime(const httplib::Request &request, httplib::Response &response);
    void createJob(const httplib::Request &request, httplib::Response &response, const httplib::ContentReader &reader);
    void jobStatus(const httplib::Request &request, httplib::Response &response);

    Options m_options;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<unsigned> m_uploadCounter{0};

    mutable std::mutex m_mutex;
    std::map<Call, std::pair<Fault, unsigned>> m_faults; // fault, requests seen since set
    std::map<std::string, JobState> m_jobs;
    std::vector<std::string> m_jobOrder;
    std::vector<RequestRecord> m_requests;
};

} // namespace tavoren::releaseservice
