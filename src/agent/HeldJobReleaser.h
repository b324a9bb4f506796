#pragma once

#include "agent/PrintScheduler.h"

#include <cstddef>
#include <string>

namespace tavoren::agent {

// When no agent could take a job, the backend asks the scheduler to retry
// later, and the scheduler holds the job for minutes. A starting agent asks
// for the user's jobs held that way at once; jobs held for other reasons
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

    HeldJobReleaser(PrintScheduler &scheduler, std::string queue, std::string user);

    // Whether the scheduler holds the job until an agent can take it.
    static bool isHeldForRetry(const PrintScheduler::Job &job);

    // Releases every such job of the user's, and logs what it did.
    Result run();

private:
    PrintScheduler &m_scheduler;
    const std::string m_queue;
    const std::string m_user;
};

} // namespace tavoren::agent
