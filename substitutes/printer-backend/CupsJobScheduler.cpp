#include "printer-backend/CupsJobScheduler.h"

#include "shared/EnvironmentSetting.h"
#include "shared/HandOff.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <sys/stat.h>
#include <system_error>

namespace tavoren::printerbackend {

namespace {
std::string unreachable(const cups::SchedulerConnection::Unreachable &failure)
{
    // The library keeps neither errno nor a telling text for a socket that
    // is not there.
    struct stat status{};
    if (failure.local && ::stat(failure.server.c_str(), &status) != 0)
        return "no socket: " + std::system_category().message(errno);
    return "no connection: " + (failure.libraryText.empty() ? "the scheduler does not answer" : failure.libraryText);
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
    // Also splits a "host:port" of CUPS_SERVER into the name and the port
    // the connection uses.
    return cups::SchedulerConnection::defaultServer();
}

CupsJobScheduler::CupsJobScheduler(std::string server, std::chrono::milliseconds timeout)
    : m_connection(std::move(server), timeout, unreachable)
{
}

std::string CupsJobScheduler::description() const
{
    return m_connection.description();
}

shared::Expected<JobScheduler::Listing> CupsJobScheduler::unfinishedJobs(const std::string &queue)
{
    // Every user's jobs: the backend runs as root, which sees them all.
    auto listed = m_connection.unfinishedJobs(
        {.queue = queue, .user = cups::SchedulerConnection::ownUser(), .limit = maximumJobs + 1, .kept = maximumJobs});
    if (!listed)
        return listed.error();
    Listing listing;
    listing.complete = listed->complete;
    for (auto &job : listed->jobs)
        listing.jobs.push_back(Job{job.id, std::move(job.state)});
    return listing;
}

shared::Expected<void> CupsJobScheduler::cancel(const std::string &queue, int jobId)
{
    return m_connection.cancel(queue, cups::SchedulerConnection::ownUser(), jobId);
}

} // namespace tavoren::printerbackend
