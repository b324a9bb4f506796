#include "helper-tool/RequestQueue.h"

namespace tavoren::helpertool {

RequestQueue::RequestQueue()
    : m_worker([this] { work(); })
{
}

RequestQueue::~RequestQueue()
{
    stop();
}

std::future<std::optional<Reply>> RequestQueue::submit(Job job)
{
    std::lock_guard lock(m_mutex);
    Entry entry{std::move(job), {}};
    auto future = entry.reply.get_future();
    if (m_stopping)
        entry.reply.set_value(std::nullopt);
    else
        m_entries.push_back(std::move(entry));
    m_wake.notify_one();
    return future;
}

void RequestQueue::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (Entry &entry : m_entries)
            entry.reply.set_value(std::nullopt);
        m_entries.clear();
    }
    m_wake.notify_one();
    if (m_worker.joinable())
        m_worker.join();
}

std::optional<RequestQueue::Clock::time_point> RequestQueue::idleSince() const
{
    std::lock_guard lock(m_mutex);
    if (m_running || !m_entries.empty())
        return std::nullopt;
    return m_lastEnd;
}

void RequestQueue::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_entries.empty(); });
        if (m_stopping)
            return;
        Entry entry = std::move(m_entries.front());
        m_entries.pop_front();
        m_running = true;
        lock.unlock();
        Reply reply = entry.job();
        entry.reply.set_value(std::move(reply));
        lock.lock();
        m_running = false;
        m_lastEnd = Clock::now();
    }
}

} // namespace tavoren::helpertool
