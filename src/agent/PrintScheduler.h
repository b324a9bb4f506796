#pragma once

#include "shared/Expected.h"

#include <string>
#include <vector>

namespace tavoren::agent {

// The print scheduler as the agent uses it: the user's unfinished jobs of a
// queue, and releasing one of them. A failure's text is for the log.
class PrintScheduler
{
public:
    struct Job
    {
        int id = 0;
        // The job-state keyword, "pending-held" for a held job.
        std::string state;
        std::vector<std::string> reasons;
    };

    virtual ~PrintScheduler() = default;

    // Names the scheduler in log lines.
    virtual std::string description() const = 0;
    // The jobs, or why the scheduler could not be asked or refused.
    virtual shared::Expected<std::vector<Job>> unfinishedJobs(const std::string &queue, const std::string &user) = 0;
    virtual shared::Expected<void> release(const std::string &queue, const std::string &user, int jobId) = 0;
};

} // namespace tavoren::agent
