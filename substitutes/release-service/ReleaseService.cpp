#include "release-service/ReleaseService.h"

#include "release-service/RequestAuthenticator.h"
#include "release-service/UploadBody.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>

namespace tavoren::releaseservice {

using namespace std::chrono_literals;

namespace {
constexpr const char *jsonType = "application/json";
// httplib parses multipart bodies itself when it sees their content type; the
// upload is checked byte for byte here instead, so the header is set aside.
constexpr const char *setAsideContentType = "X-Tavoren-Content-Type";

std::string errorJson(const std::string &why)
{
    QJsonObject object{{QStringLiteral("Error"), QString::fromStdString(why)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

int portOf(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
    return -1;
}

// httplib hands no socket to handlers; a dropped connection is made by
// shutting down the descriptor whose two ends are those of the request.
void shutDownConnection(const httplib::Request &request)
{
    DIR *fds = ::opendir("/proc/self/fd");
    if (!fds)
        return;
    while (const dirent *entry = ::readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2)
            continue;
        sockaddr_storage local{}, peer{};
        socklen_t localLength = sizeof local, peerLength = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localLength) != 0
            || ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0)
            continue;
        if (portOf(local) == request.local_port && portOf(peer) == request.remote_port)
            ::shutdown(fd, SHUT_RDWR);
    }
    ::closedir(fds);
}
} // namespace

ReleaseService::ReleaseService(Options options)
    : m_options(std::move(options))
{
    if (m_options.statusSequence.empty())
        m_options.statusSequence = {4};
}

ReleaseService::~ReleaseService()
{
    stop();
}

bool ReleaseService::isSecure() const
{
    return !m_options.certFile.empty() && !m_options.keyFile.empty();
}

std::int64_t ReleaseService::now() const
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return seconds.count() + m_options.clockOffsetSeconds;
}

bool ReleaseService::start()
{
    if (m_server)
        return true;
    if (isSecure())
        m_server = std::make_unique<httplib::SSLServer>(m_options.certFile.c_str(), m_options.keyFile.c_str());
    else
        m_server = std::make_unique<httplib::Server>();
    if (!m_server->is_valid())
        return false;

    // Large uploads arrive in many reads; a slow sender is not a reason to give up.
    m_server->set_read_timeout(30, 0);
    m_server->set_payload_max_length(1024ull * 1024 * 1024);
    m_server->set_pre_routing_handler([](const httplib::Request &request, httplib::Response &) {
        auto &headers = const_cast<httplib::Headers &>(request.headers);
        if (const auto it = headers.find("Content-Type"); it != headers.end()) {
            const std::string value = it->second;
            headers.erase(it);
            headers.emplace(setAsideContentType, value);
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_server->Get("/api/v2/servertime", [this](const httplib::Request &request, httplib::Response &response) {
        serverTime(request, response);
    });
    m_server->Post("/api/v2/drns/", [this](const httplib::Request &request, httplib::Response &response,
                                           const httplib::ContentReader &reader) {
        createJob(request, response, reader);
    });
    m_server->Get(R"(/api/v2/drns/(.+))", [this](const httplib::Request &request, httplib::Response &response) {
        jobStatus(request, response);
    });
    m_server->set_error_handler([this](const httplib::Request &request, httplib::Response &response) {
        // Answers of the calls were recorded by their handlers already.
        if (!response.body.empty() || response.status != 404)
            return;
        response.set_content(errorJson("no such call"), jsonType);
        record(Call::Other, request, response, false, response.status);
    });

    m_port = m_options.port == 0 ? m_server->bind_to_any_port(m_options.host.c_str())
                                 : (m_server->bind_to_port(m_options.host.c_str(), m_options.port) ? m_options.port : -1);
    if (m_port <= 0) {
        m_server.reset();
        return false;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // Connections are queued by the kernel from bind on; wait for the loop anyway.
    for (int i = 0; i < 500 && !m_server->is_running(); ++i)
        std::this_thread::sleep_for(2ms);
    return true;
}

void ReleaseService::stop()
{
    if (!m_server)
        return;
    m_stopping = true;
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
}

void ReleaseService::setFault(Call call, Fault fault)
{
    std::lock_guard lock(m_mutex);
    m_faults[call] = {std::move(fault), 0};
}

void ReleaseService::clearFaults()
{
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

std::vector<JobRecord> ReleaseService::jobs() const
{
    std::lock_guard lock(m_mutex);
    std::vector<JobRecord> result;
    for (const std::string &id : m_jobOrder)
        result.push_back(m_jobs.at(id).record);
    return result;
}

std::vector<RequestRecord> ReleaseService::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::optional<Fault> ReleaseService::faultFor(Call call)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_faults.find(call);
    if (it == m_faults.end())
        return std::nullopt;
    const unsigned request = ++it->second.second;
    const Fault &fault = it->second.first;
    if (request < fault.fromRequest)
        return std::nullopt;
    if (fault.times && request >= fault.fromRequest + *fault.times)
        return std::nullopt;
    return fault;
}

void ReleaseService::waitFor(std::chrono::milliseconds delay) const
{
    const auto until = std::chrono::steady_clock::now() + delay;
    while (!m_stopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
}

bool ReleaseService::answerFault(const Fault &fault, const httplib::Request &request, httplib::Response &response)
{
    // A delay alone holds back the real answer, after the call has happened.
    if (!fault.replacesAnswer())
        return false;
    waitFor(fault.delay);
    if (fault.drop) {
        shutDownConnection(request);
        response.status = 500;
        return true;
    }
    response.status = fault.status.value_or(200);
    response.set_content(fault.body.value_or(errorJson("injected fault")), jsonType);
    if (fault.location)
        response.set_header("Location", *fault.location);
    return true;
}

void ReleaseService::editAnswer(const Fault &fault, httplib::Response &response) const
{
    if (!fault.editsAnswer())
        return;
    QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(response.body)).object();
    for (const std::string &member : fault.removeMembers)
        object.remove(QString::fromStdString(member));
    for (const auto &[member, raw] : fault.setMembers) {
        const QJsonDocument wrapped = QJsonDocument::fromJson(QByteArray::fromStdString("[" + raw + "]"));
        object.insert(QString::fromStdString(member), wrapped.array().at(0));
    }
    response.set_content(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(), jsonType);
}

std::string ReleaseService::authenticate(const httplib::Request &request, std::string_view method,
                                         std::string_view docId) const
{
    RequestAuthenticator::Headers headers;
    const auto values = [&request](const char *name) {
        std::vector<std::string> result;
        const auto range = request.headers.equal_range(name);
        for (auto it = range.first; it != range.second; ++it)
            result.push_back(it->second);
        return result;
    };
    headers.signature = values("Tavoren-signature");
    headers.timestamp = values("Tavoren-timestamp");
    headers.clientId = values("Tavoren-clientid");
    headers.serial = values("Tavoren-serial");
    return RequestAuthenticator(m_options.windowSeconds).check(headers, method, docId, now());
}

void ReleaseService::record(Call call, const httplib::Request &request, const httplib::Response &response,
                            bool faulted, int status)
{
    RequestRecord entry;
    entry.call = call;
    entry.method = request.method;
    entry.path = request.path;
    for (const auto &[name, value] : request.headers)
        entry.headers.emplace_back(name == setAsideContentType ? "Content-Type" : name, value);
    entry.status = status;
    if (status >= 400 && !faulted)
        entry.error = response.body;
    entry.faulted = faulted;
    entry.remoteAddress = request.remote_addr;
    entry.received = std::chrono::system_clock::now();
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(entry);
    }
    if (m_options.onRequest)
        m_options.onRequest(entry);
}

std::string ReleaseService::newDocId()
{
    static constexpr std::string_view alphabet = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::lock_guard lock(m_mutex);
    for (;;) {
        std::string id;
        for (int i = 0; i < 8; ++i)
            id += alphabet[pick(random)];
        if (!m_jobs.count(id))
            return id;
    }
}

void ReleaseService::serverTime(const httplib::Request &request, httplib::Response &response)
{
    const std::optional<Fault> fault = faultFor(Call::ServerTime);
    if (fault && answerFault(*fault, request, response)) {
        record(Call::ServerTime, request, response, true, fault->drop ? 0 : response.status);
        return;
    }
    response.status = 200;
    QJsonObject object{{QStringLiteral("ServerTime"), qint64(now())}};
    response.set_content(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(), jsonType);
    if (fault) {
        waitFor(fault->delay);
        editAnswer(*fault, response);
    }
    record(Call::ServerTime, request, response, fault.has_value(), response.status);
}

void ReleaseService::createJob(const httplib::Request &request, httplib::Response &response,
                               const httplib::ContentReader &reader)
{
    const std::optional<Fault> fault = faultFor(Call::CreateJob);
    const unsigned number = ++m_uploadCounter;
    const std::string bodyPath = m_options.storageDir + "/upload-" + std::to_string(number) + ".body";
    bool written = false;
    {
        std::ofstream body(bodyPath, std::ios::binary | std::ios::trunc);
        written = reader([&body](const char *data, std::size_t length) {
            body.write(data, std::streamsize(length));
            return bool(body);
        }) && bool(body);
    }
    if (fault && answerFault(*fault, request, response)) {
        std::remove(bodyPath.c_str());
        record(Call::CreateJob, request, response, true, fault->drop ? 0 : response.status);
        return;
    }

    const auto refuse = [&](int status, const std::string &why) {
        std::remove(bodyPath.c_str());
        response.status = status;
        response.set_content(errorJson(why), jsonType);
        record(Call::CreateJob, request, response, fault.has_value(), status);
    };
    if (const std::string why = authenticate(request, "POST", ""); !why.empty())
        return refuse(401, why);
    if (!written)
        return refuse(400, "body could not be kept");
    const auto boundary = UploadBody::boundaryFrom(request.get_header_value(setAsideContentType));
    if (!boundary)
        return refuse(400, "not a multipart body");

    const std::string docId = newDocId();
    const std::string filePath = m_options.storageDir + "/" + docId + ".pdf";
    const UploadBody::Result parsed = UploadBody::extract(bodyPath, *boundary, filePath);
    std::remove(bodyPath.c_str());
    if (!parsed.error.empty()) {
        std::remove(filePath.c_str());
        return refuse(400, parsed.error);
    }

    JobState job;
    job.record.docId = docId;
    job.record.ownerJson = parsed.ownerJson;
    job.record.emailTo = parsed.emailTo;
    job.record.ownerEmail = parsed.ownerEmail;
    job.record.contentDescription = parsed.contentDescription;
    job.record.storedFile = filePath;
    job.record.fileSize = parsed.fileSize;
    job.record.serial = request.get_header_value("Tavoren-serial");
    job.record.received = std::chrono::system_clock::now();
    {
        std::lock_guard lock(m_mutex);
        m_jobs.emplace(docId, job);
        m_jobOrder.push_back(docId);
    }
    response.status = 201;
    QJsonObject object{{QStringLiteral("DocID"), QString::fromStdString(docId)}};
    response.set_content(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(), jsonType);
    if (fault) {
        waitFor(fault->delay);
        editAnswer(*fault, response);
    }
    record(Call::CreateJob, request, response, fault.has_value(), response.status);
}

std::string ReleaseService::jobJson(const JobState &job, std::int64_t status) const
{
    const QString received = QString::fromStdString(std::to_string(
        std::chrono::duration_cast<std::chrono::seconds>(job.record.received.time_since_epoch()).count()));
    QJsonObject document{{QStringLiteral("Created"), received},
                         {QStringLiteral("DocumentType"), 1},
                         {QStringLiteral("ErrorCode"), 0},
                         {QStringLiteral("FileSize"), qint64(job.record.fileSize)},
                         {QStringLiteral("Name"), QString::fromStdString(job.record.contentDescription)},
                         {QStringLiteral("PageCount"), 1},
                         {QStringLiteral("PdfFileSize"), qint64(job.record.fileSize)},
                         {QStringLiteral("Status"), qint64(status)},
                         {QStringLiteral("StatusUpdated"), received},
                         {QStringLiteral("Url"), QJsonValue::Null}};
    QJsonObject object{{QStringLiteral("DocID"), QString::fromStdString(job.record.docId)},
                       {QStringLiteral("Documents"), QJsonArray{document}},
                       {QStringLiteral("EmailNotificationSent"), false},
                       {QStringLiteral("EmailTo"), QString::fromStdString(job.record.emailTo)},
                       {QStringLiteral("Expiration"), QJsonValue::Null},
                       {QStringLiteral("IsNotificationRequired"), job.record.ownerEmail.has_value()},
                       {QStringLiteral("NotificationStatus"), 0},
                       {QStringLiteral("NotificationStatusUpdated"), QJsonValue::Null},
                       {QStringLiteral("Status"), qint64(status)},
                       {QStringLiteral("UploadClient"), 5}};
    if (job.record.ownerEmail)
        object.insert(QStringLiteral("OwnerEmail"), QString::fromStdString(*job.record.ownerEmail));
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

void ReleaseService::jobStatus(const httplib::Request &request, httplib::Response &response)
{
    const std::optional<Fault> fault = faultFor(Call::JobStatus);
    if (fault && answerFault(*fault, request, response)) {
        record(Call::JobStatus, request, response, true, fault->drop ? 0 : response.status);
        return;
    }
    const std::string docId = request.matches[1];
    if (const std::string why = authenticate(request, "GET", docId); !why.empty()) {
        response.status = 401;
        response.set_content(errorJson(why), jsonType);
        record(Call::JobStatus, request, response, fault.has_value(), 401);
        return;
    }
    std::string body;
    response.status = 200;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_jobs.find(docId);
        if (it != m_jobs.end()) {
            const auto &sequence = m_options.statusSequence;
            const std::int64_t status = sequence[std::min(it->second.polls, sequence.size() - 1)];
            ++it->second.polls;
            body = jobJson(it->second, status);
        }
    }
    if (body.empty()) {
        response.status = 404;
        response.set_content(errorJson("no such job"), jsonType);
    } else {
        response.set_content(body, jsonType);
        if (fault) {
            waitFor(fault->delay);
            editAnswer(*fault, response);
        }
    }
    record(Call::JobStatus, request, response, fault.has_value(), response.status);
}

} // namespace tavoren::releaseservice
