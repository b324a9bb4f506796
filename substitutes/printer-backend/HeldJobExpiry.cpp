#include "printer-backend/HeldJobExpiry.h"

#include "shared/Descriptor.h"
#include "shared/HandOff.h"
#include "shared/PathName.h"
#include "shared/PlistFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::printerbackend {

std::int64_t HeldJobExpiry::heldJobDays(const std::string &adminFile, const Log &log)
{
    const std::int64_t fallback = shared::HandOff::defaultHeldJobDays;
    const std::string key = shared::HandOff::heldJobDaysKey;
    const auto useDefault = [&](const std::string &why) {
        log(why + "; held jobs wait " + std::to_string(fallback) + " days");
        return fallback;
    };
    // The whole path as its last component: no folder to look in.
    const std::string name = shared::PathName::lastComponent(adminFile);
    if (name == adminFile)
        return useDefault("No administrator's file " + adminFile);
    const shared::Descriptor folder(
        ::open(shared::PathName::parent(adminFile).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat status{};
    if (!folder || ::fstatat(folder.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return useDefault("No administrator's file " + adminFile);
        return useDefault(shared::Error::system("read", adminFile).description());
    }
    // Only root says how long jobs wait, and what a link leads to is not
    // the file. The folder is root's, so the file stays what was checked.
    if (!S_ISREG(status.st_mode))
        return useDefault(adminFile + " is not a regular file");
    if (status.st_uid != 0 && status.st_uid != ::geteuid())
        return useDefault(adminFile + " is not root's");
    const auto admin = shared::PlistFile::read(folder.get(), name);
    if (!admin)
        return useDefault(shared::Error{admin.error().action, adminFile, admin.error().code, admin.error().text}.description());
    const auto days = admin->integer(key);
    if (!days)
        return useDefault(adminFile + " has no whole number \"" + key + "\"");
    if (*days <= 0)
        return useDefault(adminFile + " has \"" + key + "\" " + std::to_string(*days) + ", not a positive number");
    return std::min(*days, maximumDays);
}

HeldJobExpiry::HeldJobExpiry(const HeldJobs &held, JobScheduler &scheduler, std::string queue, std::string adminFile, Log log)
    : m_held(held)
    , m_scheduler(scheduler)
    , m_queue(std::move(queue))
    , m_adminFile(std::move(adminFile))
    , m_log(std::move(log))
{
}

HeldJobExpiry::Result HeldJobExpiry::run(std::chrono::system_clock::time_point now) const
{
    Result result;
    const auto markers = m_held.markers();
    if (!markers) {
        m_log("Held jobs not checked: " + markers.error().description());
        return result;
    }
    if (markers->empty())
        return result;
    const std::int64_t days = heldJobDays(m_adminFile, m_log);
    const auto longest = std::chrono::hours(24) * days;
    const auto listed = m_scheduler.unfinishedJobs(m_queue);
    if (!listed) {
        m_log("Held jobs not checked: " + m_scheduler.description() + ": " + listed.error().text);
        return result;
    }
    const JobScheduler::Listing &listing = *listed;
    result.checked = true;
    const auto removeMarker = [&](const HeldJobs::Marker &marker) {
        const auto removed = m_held.release(marker.name);
        if (!removed)
            m_log(removed.error().description());
        return bool(removed);
    };
    for (const HeldJobs::Marker &marker : *markers) {
        const auto job = std::find_if(listing.jobs.begin(), listing.jobs.end(),
                                      [&](const JobScheduler::Job &each) { return each.id == marker.jobId; });
        const std::string named = "Job " + std::to_string(marker.jobId);
        if (job == listing.jobs.end()) {
            // Printed, cancelled or purged meanwhile: nothing to wait for.
            if (listing.complete && removeMarker(marker)) {
                ++result.removed;
                m_log(named + " is no longer the scheduler's; its held marker is removed");
            }
            continue;
        }
        // A released job is on its way to a backend, which decides again.
        if (job->state != heldState || now - marker.since <= longest)
            continue;
        if (auto cancelled = m_scheduler.cancel(m_queue, marker.jobId); !cancelled) {
            m_log(named + " held longer than " + std::to_string(days) + " days, not cancelled: " + cancelled.error().text);
            continue;
        }
        ++result.cancelled;
        removeMarker(marker);
        m_log(named + " cancelled: held for its user longer than " + std::to_string(days) + " days");
    }
    return result;
}

} // namespace tavoren::printerbackend
