#pragma once

#include "release-service/Call.h"
#include "release-service/Fault.h"
#include "release-service/JobRecord.h"
#include "release-service/RequestRecord.h"
#include "shared/Expected.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
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

class JobStore;
class RequestAuthenticator;

// The substitute release service: the three calls over HTTP or HTTPS on a
// loopback address, on threads of its own, checking what the client sends
// and able to misbehave on request.
class ReleaseService
{
public:
    struct Options
    {
        std::string address = "127.0.0.1";
        int port = 0; // 0: a free port, see port()
        // Both set: HTTPS with this PEM certificate and key; otherwise HTTP.
        std::string certificateFile;
        std::string keyFile;
        // Where received files are kept; empty: a temporary folder of the
        // service's own, removed with it.
        std::string storageDir;
        // Each status request of a job answers the next value; the last repeats.
        std::vector<std::int64_t> statusSequence{1, 2, 4};
        std::int64_t timestampWindowSeconds = 300;
        std::int64_t clockOffsetSeconds = 0; // service clock = system clock + offset
        std::uint64_t maxBodyBytes = 512ull * 1024 * 1024;
        // Called on a service thread after each request is recorded.
        std::function<void(const RequestRecord &)> onRequest;
    };

    ReleaseService();
    explicit ReleaseService(Options options);
    ~ReleaseService();
    ReleaseService(const ReleaseService &) = delete;
    ReleaseService &operator=(const ReleaseService &) = delete;

    // Returns once the service listens, or false with lastError().
    bool start();
    // Ends every connection and joins the threads, also while a handler delays.
    void stop();
    bool isRunning() const;

    int port() const { return m_port; }
    bool isHttps() const;
    // "http://127.0.0.1:PORT" or "https://[::1]:PORT".
    std::string baseUrl() const;
    std::string storageDir() const { return m_storageDir; }
    std::string lastError() const;

    // Seconds since 1970 on the service clock.
    std::int64_t serviceTime() const;
    void setClockOffset(std::int64_t seconds);

    // Faults may be set and cleared while the service runs; setting one
    // starts its request count afresh.
    void setFault(Call call, Fault fault);
    void clearFaults();

    std::vector<RequestRecord> requests() const;
    std::vector<RequestRecord> requests(Call call) const;
    std::vector<JobRecord> jobs() const;
    std::optional<JobRecord> job(const std::string &docId) const;
    // Requests being handled now, e.g. one held back by a delay, or one
    // whose shaped answer is still going out.
    int requestsInProgress() const;

private:
    struct Answer
    {
        int status = 0;
        std::string body;
        std::string error = {};
        std::optional<std::string> location = {};
    };
    struct FaultSlot
    {
        std::optional<Fault> fault;
        unsigned seen = 0;
        unsigned applied = 0;
    };

    // The steps of start(), in order.
    shared::Expected<void> prepareStorage();
    shared::Expected<void> bindServer();
    shared::Expected<void> listenInBackground();
    void installHandlers();
    void serve(Call call, const httplib::Request &request, httplib::Response &response,
               const httplib::ContentReader *reader);
    Answer perform(Call call, const httplib::Request &request, const httplib::ContentReader *reader);
    Answer createJob(const httplib::Request &request, const httplib::ContentReader &reader);
    Answer jobStatus(const httplib::Request &request);
    std::string checkSignature(const httplib::Request &request, std::string_view method, std::string_view docId) const;
    // Streams `body` as the fault's shape has it; `length` is the
    // "Content-Length" unless the answer goes chunked.
    void sendShaped(const httplib::Request &request, httplib::Response &response, std::string body, const Fault &fault,
                    std::optional<std::uint64_t> length);
    std::optional<Fault> takeFault(Call call);
    bool stopping() const;
    // Waits unless the service stops first; false when it stops.
    bool waitUnlessStopping(std::chrono::milliseconds delay);
    void dropConnection(const httplib::Request &request);
    void record(RequestRecord entry);

    Options m_options;
    std::unique_ptr<RequestAuthenticator> m_authenticator;
    std::unique_ptr<JobStore> m_jobs;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::string m_storageDir;
    bool m_ownsStorage = false;
    std::atomic<std::int64_t> m_clockOffset;
    std::atomic<unsigned> m_incomingCount{0};
    std::atomic<int> m_inProgress{0};

    mutable std::mutex m_mutex;
    std::condition_variable m_wakeUp;
    bool m_stopping = false;
    bool m_listenEnded = false;
    std::string m_lastError;
    std::map<Call, FaultSlot> m_faults;
    std::vector<RequestRecord> m_requests;
};

} // namespace tavoren::releaseservice
