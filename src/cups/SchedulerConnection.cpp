#include "cups/SchedulerConnection.h"

#include "shared/HandOff.h"

#include <cups/cups.h>

#include <cerrno>
#include <string_view>
#include <system_error>

namespace tavoren::cups {

namespace {
// Answering 0 ends the wait: a silent scheduler is given up on.
int giveUp(http_t *, void *)
{
    return 0;
}

// Nobody is there to type a password: asking would only wait.
const char *noPassword(const char *, http_t *, const char *, const char *, void *)
{
    return nullptr;
}

shared::Error failed(std::string text)
{
    return shared::Error::because("ask", "the print scheduler", std::move(text));
}

// Whether the last request failed, and why.
shared::Expected<void> lastOutcome()
{
    if (cupsLastError() <= IPP_STATUS_OK_CONFLICTING)
        return {};
    const char *text = cupsLastErrorString();
    return failed(text && *text ? text : ippErrorString(cupsLastError()));
}

// Why a request got no response: the connection's error, if it had one.
shared::Error noAnswer(http_t *http)
{
    const int error = httpError(http);
    if (error != 0)
        return failed(std::system_category().message(error));
    return failed("the scheduler ended the connection without an answer");
}

// The answer to a request, or why there is none; the caller deletes it.
shared::Expected<ipp_t *> answer(http_t *http, ipp_t *request, const char *resource)
{
    ipp_t *response = cupsDoRequest(http, request, resource);
    if (!response)
        return noAnswer(http);
    if (auto outcome = lastOutcome(); !outcome) {
        ippDelete(response);
        return outcome.error();
    }
    return response;
}

// Jobs follow one another in the answer as groups of job attributes.
SchedulerConnection::Listing jobsOf(ipp_t *response, std::size_t kept)
{
    SchedulerConnection::Listing listing;
    SchedulerConnection::Job job;
    bool inJob = false;
    const auto endJob = [&] {
        if (inJob && job.id > 0) {
            if (listing.jobs.size() < kept)
                listing.jobs.push_back(std::move(job));
            else
                listing.complete = false;
        }
        job = SchedulerConnection::Job{};
        inJob = false;
    };
    for (ipp_attribute_t *attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        const char *name = ippGetName(attribute);
        if (!name || ippGetGroupTag(attribute) != IPP_TAG_JOB) {
            endJob();
            continue;
        }
        inJob = true;
        const std::string_view key = name;
        if (key == "job-id" && ippGetValueTag(attribute) == IPP_TAG_INTEGER) {
            job.id = ippGetInteger(attribute, 0);
        } else if (key == "job-state" && ippGetValueTag(attribute) == IPP_TAG_ENUM) {
            job.state = ippEnumString("job-state", ippGetInteger(attribute, 0));
        } else if (key == "job-state-reasons") {
            for (int i = 0; i < ippGetCount(attribute); ++i) {
                if (const char *reason = ippGetString(attribute, i, nullptr))
                    job.reasons.emplace_back(reason);
            }
        }
    }
    endJob();
    return listing;
}
} // namespace

std::string SchedulerConnection::defaultServer()
{
    const char *server = cupsServer();
    return server ? server : shared::HandOff::schedulerSocket;
}

std::string SchedulerConnection::ownUser()
{
    return cupsUser();
}

std::string SchedulerConnection::printerUri(const std::string &queue)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s", queue.c_str());
    return uri;
}

SchedulerConnection::SchedulerConnection(std::string server, std::chrono::milliseconds timeout, Explain explainUnreachable)
    : m_server(std::move(server))
    , m_timeout(timeout)
    , m_explainUnreachable(explainUnreachable)
{
    cupsSetPasswordCB2(noPassword, nullptr);
}

SchedulerConnection::~SchedulerConnection()
{
    if (m_http)
        httpClose(m_http);
}

std::string SchedulerConnection::description() const
{
    return "the print scheduler at " + m_server;
}

shared::Expected<void> SchedulerConnection::connect()
{
    if (m_http)
        return {};
    const bool local = !m_server.empty() && m_server.front() == '/';
    const http_encryption_t encryption = local ? HTTP_ENCRYPTION_NEVER : cupsEncryption();
    errno = 0;
    m_http = httpConnect2(m_server.c_str(), ippPort(), nullptr, AF_UNSPEC, encryption, 1, int(m_timeout.count()), nullptr);
    if (!m_http) {
        const int error = errno;
        const char *text = cupsLastErrorString();
        return failed(m_explainUnreachable(Unreachable{m_server, local, error, text ? text : ""}));
    }
    httpSetTimeout(m_http, double(m_timeout.count()) / 1000.0, giveUp, nullptr);
    return {};
}

shared::Expected<SchedulerConnection::Listing> SchedulerConnection::unfinishedJobs(const JobQuery &query)
{
    if (auto connected = connect(); !connected)
        return connected.error();
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(query.queue).c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, query.user.c_str());
    if (query.usersOwn)
        ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", query.limit);
    static const char *const attributes[] = {"job-id", "job-state", "job-state-reasons"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", query.reasons ? 3 : 2, nullptr,
                  attributes);
    const auto response = answer(m_http, request, "/");
    if (!response)
        return response.error();
    Listing listing = jobsOf(*response, query.kept);
    ippDelete(*response);
    return listing;
}

shared::Expected<void> SchedulerConnection::release(const std::string &queue, const std::string &user, int jobId)
{
    return changeJob(IPP_OP_RELEASE_JOB, queue, user, jobId);
}

shared::Expected<void> SchedulerConnection::cancel(const std::string &queue, const std::string &user, int jobId)
{
    return changeJob(IPP_OP_CANCEL_JOB, queue, user, jobId);
}

shared::Expected<void> SchedulerConnection::changeJob(int operation, const std::string &queue, const std::string &user, int jobId)
{
    if (auto connected = connect(); !connected)
        return connected;
    ipp_t *request = ippNewRequest(ipp_op_t(operation));
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(queue).c_str());
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user.c_str());
    ipp_t *response = cupsDoRequest(m_http, request, "/jobs/");
    if (!response)
        return noAnswer(m_http);
    ippDelete(response);
    return lastOutcome();
}

} // namespace tavoren::cups
