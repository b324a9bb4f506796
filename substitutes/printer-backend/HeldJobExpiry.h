#pragma once

#include "printer-backend/HeldJobs.h"
#include "printer-backend/JobScheduler.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tavoren::printerbackend {

// A held job waits for its user's agent, but not for ever: once its marker
// is older than the administrator's "heldjobdays", the job is cancelled. A
// marker whose job the scheduler no longer has goes too. A scheduler that
// cannot be asked leaves every marker and job as it is, for the next run.
class HeldJobExpiry
{
public:
    // The job state of a held job.
    static constexpr const char *heldState = "pending-held";
    // Beyond any wait anyone means; keeps the arithmetic within range.
    static constexpr std::int64_t maximumDays = 36500;

    using Log = std::function<void(const std::string &)>;

    struct Result
    {
        bool checked = false; // the scheduler was asked and answered
        std::size_t cancelled = 0;
        std::size_t removed = 0; // markers of jobs the scheduler no longer has
    };

    // The administrator's "heldjobdays" in `adminFile`: a positive whole
    // number from a regular file of root's (or of the backend's user),
    // otherwise the default, with why on `log`.
    static std::int64_t heldJobDays(const std::string &adminFile, const Log &log);

    // `queue` is the scheduler's queue of the held jobs.
    HeldJobExpiry(const HeldJobs &held, JobScheduler &scheduler, std::string queue, std::string adminFile, Log log);

    // Reads the setting and asks the scheduler only when there are markers.
    Result run(std::chrono::system_clock::time_point now = std::chrono::system_clock::now()) const;

private:
    const HeldJobs &m_held;
    JobScheduler &m_scheduler;
    std::string m_queue;
    std::string m_adminFile;
    Log m_log;
};

} // namespace tavoren::printerbackend
