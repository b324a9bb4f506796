#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavoren::agent {

// The print scheduler as the agent uses it: the user's unfinished jobs of a
// queue, and releasing one of them. Failures come back as text for the log.
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

    struct Listing
    {
        std::vector<Job> jobs;
        // Set when the scheduler could not be asked or refused.
        std::optional<std::string> failure;
    };

    virtual ~PrintScheduler() = default;

    // Names the scheduler in log lines.
    virtual std::string description() const = 0;
    virtual Listing unfinishedJobs(const std::string &queue, const std::string &user) = 0;
    // None once released, otherwise why not.
    virtual std::optional<std::string> release(const std::string &queue, const std::string &user, int jobId) = 0;
};

} // namespace tavoren::agent
