#pragma once

#include "shared/Expected.h"

#include <string>
#include <vector>

namespace tavoren::printerbackend {

// The print scheduler as the backend uses it: which jobs of a queue are not
// finished yet, and cancelling one of them. A failure's text is for the
// log.
class JobScheduler
{
public:
    struct Job
    {
        int id = 0;
        // The job-state keyword, "pending-held" for a held job.
        std::string state;
    };

    struct Listing
    {
        std::vector<Job> jobs;
        // False when the scheduler had more jobs than were taken: a job
        // missing from the list may still be there.
        bool complete = true;
    };

    virtual ~JobScheduler() = default;

    // Names the scheduler in log lines.
    virtual std::string description() const = 0;
    // Every user's unfinished jobs of the queue, or why the scheduler could
    // not be asked or refused.
    virtual shared::Expected<Listing> unfinishedJobs(const std::string &queue) = 0;
    virtual shared::Expected<void> cancel(const std::string &queue, int jobId) = 0;
};

} // namespace tavoren::printerbackend
