#pragma once

#include "agent/PrintScheduler.h"
#include "shared/SystemLog.h"

#include <cstddef>
#include <set>
#include <string>

namespace tavoren::agent {

// When no agent can take a job, the backend has the scheduler hold it and
// leaves a marker named by the job's id in the held-jobs folder (an older
// backend had the scheduler retry it later instead). A starting agent asks
// for the user's jobs held either way at once; jobs held for other reasons
// (the user's own hold among them) stay held.
class HeldJobReleaser
{
public:
    static constexpr const char *heldState = "pending-held";
    static constexpr const char *retryReason = "resources-are-not-ready";

    struct Result
    {
        bool listed = false;
        std::size_t released = 0;
        std::size_t failed = 0;
    };

    // The markers are read from HandOff::heldJobsFolder below the root.
    HeldJobReleaser(PrintScheduler &scheduler, std::string queue, std::string user, shared::SystemLog &log);

    // Whether the job waits for an agent: held, with a marker or for retry.
    static bool isHeldForAgent(const PrintScheduler::Job &job, const std::set<int> &markedJobs);

    // The job ids the folder holds markers for. A folder that is not root's
    // alone (a link, another owner, writable by others) holds none, and
    // says so in the log; a missing one holds none.
    std::set<int> markedJobs(const std::string &folder) const;

    // Releases every such job of the user's, and logs what it did.
    Result run();

private:
    PrintScheduler &m_scheduler;
    const std::string m_queue;
    const std::string m_user;
    shared::SystemLog &m_log;
};

} // namespace tavoren::agent
