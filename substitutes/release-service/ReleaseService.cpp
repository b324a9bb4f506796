#include "release-service/ReleaseService.h"

#include "release-service/AnswerStream.h"
#include "release-service/ConnectionSockets.h"
#include "release-service/JobStore.h"
#include "release-service/RequestAuthenticator.h"
#include "release-service/UploadBody.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <pthread.h>
#include <stdlib.h>

namespace tavoren::releaseservice {

namespace {
shared::Error notStarted(std::string why)
{
    return shared::Error::because("start", "the release service", std::move(why));
}

// The library feeds any "multipart/form-data" body to its own lenient
// parser; hidden under this name before routing, the raw bytes reach us and
// are checked against the exact layout instead.
constexpr char hiddenContentType[] = "Tavoren-Release-Service-Content-Type";
constexpr char jsonType[] = "application/json";

int successStatus(Call call)
{
    return call == Call::CreateJob ? 201 : 200;
}

std::string compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::string errorJson(const std::string &why)
{
    return compact(QJsonObject{{QLatin1String("Error"), QString::fromStdString(why)}});
}

std::vector<std::string> headerValues(const httplib::Request &request, const std::string &name)
{
    std::vector<std::string> values;
    const auto [first, last] = request.headers.equal_range(name);
    for (auto it = first; it != last; ++it)
        values.push_back(it->second);
    return values;
}

// Reads and discards a body the service does not use, so the client can
// finish sending and sees the answer rather than a reset connection.
void drain(const httplib::ContentReader &reader)
{
    reader([](const char *, std::size_t) { return true; });
}

std::string editedAnswer(const std::string &body, const Fault &fault)
{
    QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
    for (const std::string &member : fault.removeMembers)
        object.remove(QString::fromStdString(member));
    for (const auto &[member, raw] : fault.setMembers) {
        // Wrapped in an array so that any JSON value, also a bare number or
        // text, can be parsed; what is not JSON goes in as text.
        const QJsonDocument wrapped = QJsonDocument::fromJson("[" + QByteArray::fromStdString(raw) + "]");
        const QJsonValue value = wrapped.isArray() && wrapped.array().size() == 1 ? wrapped.array().first()
                                                                                    : QJsonValue(QString::fromStdString(raw));
        object.insert(QString::fromStdString(member), value);
    }
    return compact(object);
}

} // namespace

ReleaseService::ReleaseService()
    : ReleaseService(Options())
{
}

ReleaseService::ReleaseService(Options options)
    : m_options(std::move(options))
    , m_authenticator(std::make_unique<RequestAuthenticator>(m_options.timestampWindowSeconds))
    , m_jobs(std::make_unique<JobStore>(m_options.statusSequence))
    , m_port(m_options.port)
    , m_clockOffset(m_options.clockOffsetSeconds)
{
}

ReleaseService::~ReleaseService()
{
    stop();
    if (m_ownsStorage) {
        std::error_code ignored;
        std::filesystem::remove_all(m_storageDir, ignored);
    }
}

bool ReleaseService::start()
{
    if (m_thread.joinable())
        return true;
    auto ready = prepareStorage();
    if (ready)
        ready = bindServer();
    if (ready)
        ready = listenInBackground();
    if (ready)
        return true;
    const std::lock_guard lock(m_mutex);
    m_lastError = ready.error().text;
    m_server.reset();
    return false;
}

shared::Expected<void> ReleaseService::prepareStorage()
{
    if (!m_storageDir.empty())
        return {};
    if (m_options.storageDir.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavoren-release-service-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return notStarted("cannot make a storage folder");
        m_storageDir = pattern;
        m_ownsStorage = true;
        return {};
    }
    std::error_code error;
    std::filesystem::create_directories(m_options.storageDir, error);
    if (error)
        return notStarted("cannot make the storage folder " + m_options.storageDir + ": " + error.message());
    m_storageDir = m_options.storageDir;
    return {};
}

shared::Expected<void> ReleaseService::bindServer()
{
    const bool https = !m_options.certificateFile.empty() || !m_options.keyFile.empty();
    if (https && (m_options.certificateFile.empty() || m_options.keyFile.empty()))
        return notStarted("HTTPS needs both a certificate and a key");
    if (https)
        m_server = std::make_unique<httplib::SSLServer>(m_options.certificateFile.c_str(), m_options.keyFile.c_str());
    else
        m_server = std::make_unique<httplib::Server>();
    if (!m_server->is_valid())
        return notStarted("cannot load the certificate or the key");
    installHandlers();
    // Headers and body leave in separate writes; without this, Nagle and
    // delayed acknowledgements hold each keep-alive answer back ~40 ms.
    m_server->set_tcp_nodelay(true);
    m_server->set_payload_max_length(std::size_t(m_options.maxBodyBytes));

    if (m_options.port == 0) {
        m_port = m_server->bind_to_any_port(m_options.address);
        if (m_port < 0)
            return notStarted("cannot listen on " + m_options.address);
    } else if (!m_server->bind_to_port(m_options.address, m_options.port)) {
        return notStarted("cannot listen on " + m_options.address + " port " + std::to_string(m_options.port));
    }
    return {};
}

shared::Expected<void> ReleaseService::listenInBackground()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = false;
        m_listenEnded = false;
        m_lastError.clear();
    }
    // SIGPIPE blocked on the service threads (the library's workers inherit
    // the mask): writing to a connection the client or a drop fault has
    // closed must fail there, not end the process.
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    m_thread = std::thread([this] {
        m_server->listen_after_bind();
        {
            const std::lock_guard lock(m_mutex);
            m_listenEnded = true;
        }
        m_wakeUp.notify_all();
    });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);

    // The library's stop() only ends a running accept loop, so wait for it;
    // it is a matter of microseconds.
    for (;;) {
        if (m_server->is_running())
            return {};
        {
            const std::lock_guard lock(m_mutex);
            if (m_listenEnded)
                break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    m_thread.join();
    return notStarted("the service ended at once");
}

void ReleaseService::stop()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wakeUp.notify_all();
    m_server->stop();
    // Idle keep-alive connections would hold the library's workers for
    // seconds; cut them, again until the workers are gone, as one may have
    // been accepted just before the listener closed.
    std::unique_lock lock(m_mutex);
    while (!m_listenEnded) {
        lock.unlock();
        ConnectionSockets::shutdownAll(m_options.address, m_port);
        lock.lock();
        m_wakeUp.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_listenEnded; });
    }
    lock.unlock();
    m_thread.join();
}

bool ReleaseService::isRunning() const
{
    return m_thread.joinable() && m_server && m_server->is_running();
}

bool ReleaseService::isHttps() const
{
    return !m_options.certificateFile.empty();
}

std::string ReleaseService::baseUrl() const
{
    const bool v6 = m_options.address.find(':') != std::string::npos;
    return std::string(isHttps() ? "https" : "http") + "://" + (v6 ? "[" + m_options.address + "]" : m_options.address)
        + ":" + std::to_string(m_port);
}

std::string ReleaseService::lastError() const
{
    const std::lock_guard lock(m_mutex);
    return m_lastError;
}

std::int64_t ReleaseService::serviceTime() const
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::floor<std::chrono::seconds>(now).count() + m_clockOffset.load();
}

void ReleaseService::setClockOffset(std::int64_t seconds)
{
    m_clockOffset = seconds;
}

void ReleaseService::setFault(Call call, Fault fault)
{
    const std::lock_guard lock(m_mutex);
    m_faults[call] = FaultSlot{std::move(fault), 0, 0};
}

void ReleaseService::clearFaults()
{
    const std::lock_guard lock(m_mutex);
    m_faults.clear();
}

std::vector<RequestRecord> ReleaseService::requests() const
{
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<RequestRecord> ReleaseService::requests(Call call) const
{
    const std::lock_guard lock(m_mutex);
    std::vector<RequestRecord> result;
    std::ranges::copy_if(m_requests, std::back_inserter(result), [call](const RequestRecord &r) { return r.call == call; });
    return result;
}

std::vector<JobRecord> ReleaseService::jobs() const
{
    return m_jobs->jobs();
}

std::optional<JobRecord> ReleaseService::job(const std::string &docId) const
{
    return m_jobs->job(docId);
}

int ReleaseService::requestsInProgress() const
{
    return m_inProgress.load();
}

void ReleaseService::installHandlers()
{
    using httplib::ContentReader;
    using httplib::Request;
    using httplib::Response;
    m_server->set_pre_routing_handler([](const Request &request, Response &) {
        // The request object is not const in the library, only its view here.
        auto &headers = const_cast<httplib::Headers &>(request.headers);
        const auto it = headers.find("Content-Type");
        if (it != headers.end() && it->second.starts_with("multipart/form-data")) {
            std::string value = it->second;
            headers.erase(it);
            headers.emplace(hiddenContentType, std::move(value));
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    const auto plain = [this](Call call) {
        return [this, call](const Request &request, Response &response) { serve(call, request, response, nullptr); };
    };
    const auto withBody = [this](Call call) {
        return [this, call](const Request &request, Response &response, const ContentReader &reader) {
            serve(call, request, response, &reader);
        };
    };
    // First match wins, so the catch-alls come last.
    m_server->Get("/api/v2/servertime", plain(Call::ServerTime));
    m_server->Post("/api/v2/drns/", withBody(Call::CreateJob));
    m_server->Get(R"(/api/v2/drns/([^/]+))", plain(Call::JobStatus));
    m_server->Get(".*", plain(Call::Other));
    m_server->Post(".*", withBody(Call::Other));
}

void ReleaseService::serve(Call call, const httplib::Request &request, httplib::Response &response,
                           const httplib::ContentReader *reader)
{
    // Counted for the whole handler, also while it delays.
    ++m_inProgress;
    struct Leave
    {
        std::atomic<int> &count;
        ~Leave() { --count; }
    } leave{m_inProgress};

    RequestRecord entry;
    entry.call = call;
    entry.method = request.method;
    entry.path = request.path;
    for (const auto &[name, value] : request.headers)
        entry.headers.emplace_back(name == hiddenContentType ? std::string("Content-Type") : name, value);
    entry.remoteAddress = request.remote_addr;
    entry.received = std::chrono::system_clock::now();

    const std::optional<Fault> fault = takeFault(call);
    entry.faulted = fault.has_value();
    Answer answer;
    if (fault && fault->replacesAnswer()) {
        if (reader)
            drain(*reader);
        answer = Answer{fault->status.value_or(successStatus(call)), fault->body.value_or(errorJson("injected fault")),
                        "injected fault", fault->location};
    } else {
        answer = perform(call, request, reader);
        if (fault && fault->editsAnswer() && answer.status == successStatus(call))
            answer.body = editedAnswer(answer.body, *fault);
    }

    bool drop = fault && fault->drop;
    if (drop)
        answer.error = "dropped";
    if (fault && fault->delay.count() > 0 && !waitUnlessStopping(fault->delay)) {
        drop = true;
        answer.error = "service stopped";
    }
    const bool shaped = !drop && fault && fault->shapesAnswer();
    std::optional<std::uint64_t> length;
    if (shaped && !fault->chunkedTransfer) {
        length = AnswerStream::length(answer.body, fault->paddedLength, fault->gzip, [this] { return !stopping(); });
        if (!length) {
            drop = true;
            answer.error = stopping() ? "service stopped" : "cannot compress";
        }
    }
    entry.status = drop ? 0 : answer.status;
    entry.error = answer.error;
    // Recorded before the answer leaves, so a client that has its answer
    // finds the record in place.
    record(std::move(entry));
    if (drop) {
        dropConnection(request);
        return;
    }
    response.status = answer.status;
    if (shaped)
        sendShaped(request, response, std::move(answer.body), *fault, length);
    else
        response.set_content(answer.body, jsonType);
    if (answer.location)
        response.set_header("Location", *answer.location);
}

void ReleaseService::sendShaped(const httplib::Request &request, httplib::Response &response, std::string body,
                                const Fault &fault, std::optional<std::uint64_t> length)
{
    // In progress until the library lets go of the answer: sent, failed or stopped.
    ++m_inProgress;
    const std::shared_ptr<AnswerStream> stream(new AnswerStream(std::move(body), fault.paddedLength, fault.gzip),
                                               [this](AnswerStream *done) {
                                                   delete done;
                                                   --m_inProgress;
                                               });
    if (fault.gzip)
        response.set_header("Content-Encoding", "gzip");
    // Called by the library on the worker until the answer is out, the
    // connection fails or the service stops; `sent` counts what went out.
    const auto provide = [this, stream, trickle = fault.trickle, chunked = fault.chunkedTransfer](
                             std::size_t sent, httplib::DataSink &sink) {
        if (stopping())
            return false;
        const std::string_view piece = stream->next(trickle.count() > 0 ? 1 : 64 * 1024);
        if (piece.empty()) {
            // With a length the library stops asking once it is reached.
            if (!chunked || stream->failed())
                return false;
            sink.done();
            return true;
        }
        if (trickle.count() > 0 && sent > 0 && !waitUnlessStopping(trickle))
            return false;
        return sink.write(piece.data(), piece.size());
    };
    if (fault.chunkedTransfer) {
        // The library compresses a chunked answer of its own accord for a
        // client that accepts it; here the fault alone decides.
        const_cast<httplib::Headers &>(request.headers).erase("Accept-Encoding");
        response.set_chunked_content_provider(jsonType, provide);
    } else if (*length == 0) {
        response.set_content(std::string(), jsonType);
    } else {
        response.set_content_provider(std::size_t(*length), jsonType,
                                      [provide](std::size_t sent, std::size_t, httplib::DataSink &sink) {
                                          return provide(sent, sink);
                                      });
    }
}

ReleaseService::Answer ReleaseService::perform(Call call, const httplib::Request &request,
                                               const httplib::ContentReader *reader)
{
    switch (call) {
    case Call::ServerTime:
        return Answer{200, compact(QJsonObject{{QLatin1String("ServerTime"), qint64(serviceTime())}}), {}};
    case Call::CreateJob:
        return createJob(request, *reader);
    case Call::JobStatus:
        return jobStatus(request);
    case Call::Other:
        break;
    }
    if (reader)
        drain(*reader);
    return Answer{404, errorJson("no such call"), "no such call"};
}

ReleaseService::Answer ReleaseService::createJob(const httplib::Request &request, const httplib::ContentReader &reader)
{
    const auto refuse = [&reader](int status, const std::string &why, bool bodyRead = false) {
        if (!bodyRead)
            drain(reader);
        return Answer{status, errorJson(why), why};
    };
    if (std::string problem = checkSignature(request, "POST", ""); !problem.empty())
        return refuse(401, problem);

    std::vector<std::string> types = headerValues(request, hiddenContentType);
    for (std::string &type : headerValues(request, "Content-Type"))
        types.push_back(std::move(type));
    if (types.size() != 1)
        return refuse(400, "expected one Content-Type");
    const std::optional<std::string> boundary = UploadBody::boundaryFrom(types.front());
    if (!boundary)
        return refuse(400, "expected a multipart/form-data Content-Type with a boundary");

    // Streamed to disk: uploads run to tens of MiB and several may be in flight.
    const std::filesystem::path storage(m_storageDir);
    const std::string bodyPath = (storage / (".incoming-" + std::to_string(++m_incomingCount) + ".multipart")).string();
    std::FILE *out = std::fopen(bodyPath.c_str(), "wbe");
    if (!out)
        return refuse(500, "cannot keep the body");
    std::setvbuf(out, nullptr, _IOFBF, 1 << 20);
    bool written = true;
    const bool received = reader([&](const char *data, std::size_t length) {
        written = std::fwrite(data, 1, length, out) == length;
        return written;
    });
    written = std::fclose(out) == 0 && written;
    if (!received || !written) {
        std::remove(bodyPath.c_str());
        return refuse(received ? 500 : 400, received ? "cannot keep the body" : "body not received", true);
    }

    const std::string docId = m_jobs->reserveId();
    const std::string filePath = (storage / (docId + ".pdf")).string();
    UploadBody::Result upload = UploadBody::extract(bodyPath, *boundary, filePath);
    std::remove(bodyPath.c_str());
    if (!upload.error.empty()) {
        std::remove(filePath.c_str());
        return refuse(400, upload.error, true);
    }

    JobRecord job;
    job.docId = docId;
    job.ownerJson = std::move(upload.ownerJson);
    job.emailTo = std::move(upload.emailTo);
    job.ownerEmail = std::move(upload.ownerEmail);
    job.contentDescription = std::move(upload.contentDescription);
    job.storedFile = filePath;
    job.fileSize = upload.fileSize;
    job.serial = request.get_header_value("Tavoren-serial");
    job.received = std::chrono::system_clock::now();
    m_jobs->add(std::move(job), serviceTime());
    return Answer{201, compact(QJsonObject{{QLatin1String("DocID"), QString::fromStdString(docId)}}), {}};
}

ReleaseService::Answer ReleaseService::jobStatus(const httplib::Request &request)
{
    const std::string docId = request.matches[1].str();
    if (std::string problem = checkSignature(request, "GET", docId); !problem.empty())
        return Answer{401, errorJson(problem), problem};
    std::optional<std::string> record = m_jobs->poll(docId, serviceTime());
    if (!record)
        return Answer{404, errorJson("unknown job"), "unknown job"};
    return Answer{200, std::move(*record), {}};
}

std::string ReleaseService::checkSignature(const httplib::Request &request, std::string_view method,
                                           std::string_view docId) const
{
    RequestAuthenticator::Headers headers;
    headers.signature = headerValues(request, "Tavoren-signature");
    headers.timestamp = headerValues(request, "Tavoren-timestamp");
    headers.clientId = headerValues(request, "Tavoren-clientid");
    headers.serial = headerValues(request, "Tavoren-serial");
    return m_authenticator->check(headers, method, docId, serviceTime());
}

std::optional<Fault> ReleaseService::takeFault(Call call)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_faults.find(call);
    if (it == m_faults.end() || !it->second.fault)
        return std::nullopt;
    FaultSlot &slot = it->second;
    ++slot.seen;
    if (slot.seen < slot.fault->fromRequest || (slot.fault->times && slot.applied >= *slot.fault->times))
        return std::nullopt;
    ++slot.applied;
    return slot.fault;
}

bool ReleaseService::stopping() const
{
    const std::lock_guard lock(m_mutex);
    return m_stopping;
}

bool ReleaseService::waitUnlessStopping(std::chrono::milliseconds delay)
{
    std::unique_lock lock(m_mutex);
    return !m_wakeUp.wait_for(lock, delay, [this] { return m_stopping; });
}

void ReleaseService::dropConnection(const httplib::Request &request)
{
    ConnectionSockets::shutdownConnection(request.local_addr, request.local_port, request.remote_addr,
                                          request.remote_port);
}

void ReleaseService::record(RequestRecord entry)
{
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(entry);
    }
    if (m_options.onRequest)
        m_options.onRequest(entry);
}

} // namespace tavoren::releaseservice
