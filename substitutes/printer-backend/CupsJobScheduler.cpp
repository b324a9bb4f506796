#include "printer-backend/CupsJobScheduler.h"

#include "shared/EnvironmentSetting.h"
#include "shared/HandOff.h"
#include "shared/SystemPath.h"

#include <cups/cups.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <system_error>

namespace tavoren::printerbackend {

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

std::string printerUri(const std::string &queue)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s", queue.c_str());
    return uri;
}
} // namespace

std::chrono::milliseconds CupsJobScheduler::defaultTimeout()
{
    return shared::EnvironmentSetting::milliseconds(timeoutVariable, std::chrono::seconds(5), std::chrono::minutes(10));
}

std::string CupsJobScheduler::backendServer()
{
    if (shared::EnvironmentSetting::text("CUPS_SERVER").empty() && !shared::SystemPath::root().empty())
        return shared::SystemPath::resolve(shared::HandOff::schedulerSocket);
    // Also splits a "host:port" of CUPS_SERVER into the name and ippPort().
    const char *server = cupsServer();
    return server ? server : shared::HandOff::schedulerSocket;
}

CupsJobScheduler::CupsJobScheduler(std::string server, std::chrono::milliseconds timeout)
    : m_server(std::move(server))
    , m_timeout(timeout)
{
    cupsSetPasswordCB2(noPassword, nullptr);
}

CupsJobScheduler::~CupsJobScheduler()
{
    if (m_http)
        httpClose(m_http);
}

std::string CupsJobScheduler::description() const
{
    return "the print scheduler at " + m_server;
}

shared::Expected<void> CupsJobScheduler::connect()
{
    if (m_http)
        return {};
    const bool local = !m_server.empty() && m_server.front() == '/';
    const http_encryption_t encryption = local ? HTTP_ENCRYPTION_NEVER : cupsEncryption();
    m_http = httpConnect2(m_server.c_str(), ippPort(), nullptr, AF_UNSPEC, encryption, 1, int(m_timeout.count()), nullptr);
    if (!m_http) {
        // The library keeps neither errno nor a telling text for a socket
        // that is not there.
        struct stat status{};
        if (local && ::stat(m_server.c_str(), &status) != 0)
            return failed("no socket: " + std::system_category().message(errno));
        const char *text = cupsLastErrorString();
        return failed(std::string("no connection: ") + (text && *text ? text : "the scheduler does not answer"));
    }
    httpSetTimeout(m_http, double(m_timeout.count()) / 1000.0, giveUp, nullptr);
    return {};
}

shared::Expected<JobScheduler::Listing> CupsJobScheduler::unfinishedJobs(const std::string &queue)
{
    if (auto connected = connect(); !connected)
        return connected.error();
    // Every user's jobs: the backend runs as root, which sees them all.
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(queue).c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", maximumJobs + 1);
    static const char *const attributes[] = {"job-id", "job-state"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, attributes);
    ipp_t *response = cupsDoRequest(m_http, request, "/");
    if (!response)
        return noAnswer(m_http);
    if (auto outcome = lastOutcome(); !outcome) {
        ippDelete(response);
        return outcome.error();
    }
    Listing listing;

    // Jobs follow one another as groups of job attributes.
    Job job;
    bool inJob = false;
    const auto endJob = [&] {
        if (inJob && job.id > 0) {
            if (listing.jobs.size() < std::size_t(maximumJobs))
                listing.jobs.push_back(std::move(job));
            else
                listing.complete = false;
        }
        job = Job{};
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
        if (key == "job-id" && ippGetValueTag(attribute) == IPP_TAG_INTEGER)
            job.id = ippGetInteger(attribute, 0);
        else if (key == "job-state" && ippGetValueTag(attribute) == IPP_TAG_ENUM)
            job.state = ippEnumString("job-state", ippGetInteger(attribute, 0));
    }
    endJob();
    ippDelete(response);
    return listing;
}

shared::Expected<void> CupsJobScheduler::cancel(const std::string &queue, int jobId)
{
    if (auto connected = connect(); !connected)
        return connected;
    ipp_t *request = ippNewRequest(IPP_OP_CANCEL_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(queue).c_str());
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ipp_t *response = cupsDoRequest(m_http, request, "/jobs/");
    if (!response)
        return noAnswer(m_http);
    ippDelete(response);
    return lastOutcome();
}

} // namespace tavoren::printerbackend
