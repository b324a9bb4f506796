#include "agent/HeldJobReleaser.h"

#include "shared/Descriptor.h"
#include "shared/Error.h"
#include "shared/FileTree.h"
#include "shared/HandOff.h"
#include "shared/SystemLog.h"
#include "shared/SystemPath.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <sys/stat.h>

namespace tavoren::agent {

namespace {
void log(const std::string &message)
{
    shared::SystemLog::instance().write(message);
}

// A job id as the backend names its marker: decimal, positive.
std::optional<int> jobId(const std::string &name)
{
    int id = 0;
    const char *end = name.data() + name.size();
    const auto [stop, error] = std::from_chars(name.data(), end, id);
    if (error != std::errc() || stop != end || id <= 0)
        return std::nullopt;
    return id;
}
} // namespace

HeldJobReleaser::HeldJobReleaser(PrintScheduler &scheduler, std::string queue, std::string user)
    : m_scheduler(scheduler)
    , m_queue(std::move(queue))
    , m_user(std::move(user))
{
}

bool HeldJobReleaser::isHeldForAgent(const PrintScheduler::Job &job, const std::set<int> &markedJobs)
{
    if (job.state != heldState)
        return false;
    return markedJobs.count(job.id) != 0 || std::find(job.reasons.begin(), job.reasons.end(), retryReason) != job.reasons.end();
}

std::set<int> HeldJobReleaser::markedJobs(const std::string &folder)
{
    std::set<int> ids;
    const std::string ignored = "The held-jobs folder \"" + folder + "\" ";
    auto opened = shared::FileTree::openRealFolder(folder);
    if (!opened) {
        // No job held yet, or a backend from before the markers.
        const int error = opened.error().code;
        if (error == ENOENT)
            return ids;
        if (error == ELOOP)
            log(ignored + "is a symbolic link; its markers are ignored");
        else
            log(shared::Error::system("list", folder, error).description());
        return ids;
    }
    const shared::Descriptor fd = std::move(*opened);
    struct stat status{};
    if (::fstat(fd.get(), &status) != 0) {
        log(shared::Error::system("list", folder).description());
        return ids;
    }
    // Anyone else who can write there could have another user's job, or
    // a job held for review, released.
    if (status.st_uid != 0) {
        log(ignored + "is not owned by root; its markers are ignored");
        return ids;
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        log(ignored + "is writable by others; its markers are ignored");
        return ids;
    }
    const auto names = shared::FileTree::names(fd.get(), folder);
    if (!names) {
        log(names.error().description());
        return ids;
    }
    for (const std::string &name : *names) {
        if (const auto id = jobId(name))
            ids.insert(*id);
    }
    return ids;
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
    const std::set<int> marked = markedJobs(shared::SystemPath::resolve(shared::HandOff::heldJobsFolder));
    // Only the user's own jobs are listed: a marker alone releases nothing.
    for (const PrintScheduler::Job &job : listing.jobs) {
        if (!isHeldForAgent(job, marked))
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
