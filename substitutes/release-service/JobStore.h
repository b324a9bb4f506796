#pragma once

#include "release-service/JobRecord.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace tavoren::releaseservice {

// The jobs one service instance has accepted, their identifiers and their
// simulated conversion. Safe to use from the service's threads.
class JobStore
{
public:
    explicit JobStore(std::vector<std::int64_t> statusSequence);

    // A fresh release code: 8 upper-case letters and digits, never handed
    // out twice by this store.
    std::string reserveId();
    // `created` is the service clock at acceptance.
    void add(JobRecord job, std::int64_t created);

    // The job record answer for one status request; each call moves the job
    // one step along the status sequence (the last step repeats).
    std::optional<std::string> poll(const std::string &docId, std::int64_t serviceTime);

    std::vector<JobRecord> jobs() const;
    std::optional<JobRecord> job(const std::string &docId) const;

private:
    struct Entry
    {
        JobRecord record;
        std::int64_t created = 0; // service clock
        std::size_t polls = 0;
    };

    mutable std::mutex m_mutex;
    std::vector<std::int64_t> m_statusSequence;
    std::mt19937_64 m_random;
    std::set<std::string> m_usedIds;
    std::map<std::string, Entry> m_entries;
    std::vector<std::string> m_order;
};

} // namespace tavoren::releaseservice
