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
#include <optional>
#include <sys/stat.h>

namespace tavoren::agent {

namespace {
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

HeldJobReleaser::HeldJobReleaser(PrintScheduler &scheduler, std::string queue, std::string user, shared::SystemLog &log)
    : m_scheduler(scheduler)
    , m_queue(std::move(queue))
    , m_user(std::move(user))
    , m_log(log)
{
}

bool HeldJobReleaser::isHeldForAgent(const PrintScheduler::Job &job, const std::set<int> &markedJobs)
{
    if (job.state != heldState)
        return false;
    return markedJobs.count(job.id) != 0 || std::find(job.reasons.begin(), job.reasons.end(), retryReason) != job.reasons.end();
}

std::set<int> HeldJobReleaser::markedJobs(const std::string &folder) const
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
            m_log.write(ignored + "is a symbolic link; its markers are ignored");
        else
            m_log.write(shared::Error::system("list", folder, error).description());
        return ids;
    }
    const shared::Descriptor fd = std::move(*opened);
    struct stat status{};
    if (::fstat(fd.get(), &status) != 0) {
        m_log.write(shared::Error::system("list", folder).description());
        return ids;
    }
    // Anyone else who can write there could have another user's job, or
    // a job held for review, released.
    if (status.st_uid != 0) {
        m_log.write(ignored + "is not owned by root; its markers are ignored");
        return ids;
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        m_log.write(ignored + "is writable by others; its markers are ignored");
        return ids;
    }
    const auto names = shared::FileTree::names(fd.get(), folder);
    if (!names) {
        m_log.write(names.error().description());
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
    const auto listing = m_scheduler.unfinishedJobs(m_queue, m_user);
    if (!listing) {
        m_log.write("Could not ask " + m_scheduler.description() + " for held print jobs: " + listing.error().text);
        return result;
    }
    result.listed = true;
    const std::set<int> marked = markedJobs(shared::SystemPath::resolve(shared::HandOff::heldJobsFolder));
    // Only the user's own jobs are listed: a marker alone releases nothing.
    for (const PrintScheduler::Job &job : *listing) {
        if (!isHeldForAgent(job, marked))
            continue;
        if (const auto released = m_scheduler.release(m_queue, m_user, job.id); !released) {
            m_log.write("Could not release print job " + std::to_string(job.id) + ": " + released.error().text);
            ++result.failed;
        } else {
            ++result.released;
        }
    }
    m_log.write("Released " + std::to_string(result.released) + " held print jobs");
    return result;
}

} // namespace tavoren::agent
