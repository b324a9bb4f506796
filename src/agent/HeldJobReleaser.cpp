#include "agent/HeldJobReleaser.h"

#include "shared/SystemLog.h"

#include <algorithm>

namespace tavoren::agent {

namespace {
void log(const std::string &message)
{
    shared::SystemLog::instance().write(message);
}
} // namespace

HeldJobReleaser::HeldJobReleaser(PrintScheduler &scheduler, std::string queue, std::string user)
    : m_scheduler(scheduler)
    , m_queue(std::move(queue))
    , m_user(std::move(user))
{
}

bool HeldJobReleaser::isHeldForRetry(const PrintScheduler::Job &job)
{
    return job.state == heldState && std::find(job.reasons.begin(), job.reasons.end(), retryReason) != job.reasons.end();
}

HeldJobReleaser::Result HeldJobReleaser::run()
{
    Result result;
    const PrintScheduler::Listing listing = m_scheduler.unfinishedJobs(m_queue, m_user);
    if (listing.failure) {
        log("Could not ask " + m_scheduler.description() + " for held print jobs: " + *listing.failure);
        return result;
    }
    result.listed = true;
    for (const PrintScheduler::Job &job : listing.jobs) {
        if (!isHeldForRetry(job))
            continue;
        if (const auto failure = m_scheduler.release(m_queue, m_user, job.id)) {
            log("Could not release print job " + std::to_string(job.id) + ": " + *failure);
            ++result.failed;
        } else {
            ++result.released;
        }
    }
    log("Released " + std::to_string(result.released) + " held print jobs");
    return result;
}

} // namespace tavoren::agent
