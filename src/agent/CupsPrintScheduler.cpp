#include "agent/CupsPrintScheduler.h"

#include "shared/HandOff.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <system_error>

namespace tavoren::agent {

namespace {
// Requests never carry the job list past this many jobs.
constexpr int maximumJobs = 1000;

std::string unreachable(const cups::SchedulerConnection::Unreachable &failure)
{
    // What the library leaves in errno after a failed connection (a "Bad
    // file descriptor" when nothing listens) says nothing useful.
    if (failure.error == EACCES || failure.error == EPERM)
        return std::system_category().message(failure.error);
    return "it is not running or does not answer";
}
} // namespace

std::string CupsPrintScheduler::agentServer()
{
    if (!shared::SystemPath::root().empty())
        return shared::SystemPath::resolve(shared::HandOff::schedulerSocket);
    return cups::SchedulerConnection::defaultServer();
}

CupsPrintScheduler::CupsPrintScheduler(std::string server, std::chrono::milliseconds timeout)
    : m_connection(std::move(server), timeout, unreachable)
{
}

std::string CupsPrintScheduler::description() const
{
    return m_connection.description();
}

shared::Expected<std::vector<PrintScheduler::Job>> CupsPrintScheduler::unfinishedJobs(const std::string &queue,
                                                                                     const std::string &user)
{
    auto listing = m_connection.unfinishedJobs(
        {.queue = queue, .user = user, .usersOwn = true, .reasons = true, .limit = maximumJobs, .kept = maximumJobs});
    if (!listing)
        return listing.error();
    std::vector<Job> jobs;
    for (auto &job : listing->jobs)
        jobs.push_back(Job{job.id, std::move(job.state), std::move(job.reasons)});
    return jobs;
}

shared::Expected<void> CupsPrintScheduler::release(const std::string &queue, const std::string &user, int jobId)
{
    return m_connection.release(queue, user, jobId);
}

} // namespace tavoren::agent
