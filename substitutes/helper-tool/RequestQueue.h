#pragma once

#include "helper-tool/Reply.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

namespace tavoren::helpertool {

// Runs accepted requests one at a time on a thread of its own, in the order
// they were queued.
class RequestQueue
{
public:
    using Job = std::function<Reply()>;
    using Clock = std::chrono::steady_clock;

    RequestQueue();
    ~RequestQueue();
    RequestQueue(const RequestQueue &) = delete;
    RequestQueue &operator=(const RequestQueue &) = delete;

    // The job's reply once it has run; none when the queue stopped first.
    std::future<std::optional<Reply>> submit(Job job);
    // Drops the jobs not started yet, lets the running one end, and waits.
    void stop();
    // When the last job ended, if nothing is queued or running now.
    std::optional<Clock::time_point> idleSince() const;

private:
    struct Entry
    {
        Job job;
        std::promise<std::optional<Reply>> reply;
    };
    void work();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Entry> m_entries;
    bool m_running = false;
    bool m_stopping = false;
    Clock::time_point m_lastEnd = Clock::now();
    std::thread m_worker;
};

} // namespace tavoren::helpertool
