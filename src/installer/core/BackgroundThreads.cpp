#include "installer/core/BackgroundThreads.h"

#include "shared/Clock.h"

namespace tavoren::installer {

BackgroundThreads::BackgroundThreads(shared::Clock &clock)
    : m_clock(clock)
{
}

BackgroundThreads::~BackgroundThreads()
{
    stop();
}

bool BackgroundThreads::start(std::function<void()> task)
{
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return false;
    // A long session starts many short threads: the ended ones go.
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (*it->done) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_workers.push_back({std::thread([task = std::move(task), done] {
                             task();
                             *done = true;
                         }),
                         done});
    return true;
}

void BackgroundThreads::stop()
{
    std::vector<Worker> workers;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        workers.swap(m_workers);
    }
    m_clock.wake();
    for (Worker &worker : workers) {
        if (worker.thread.joinable())
            worker.thread.join();
    }
}

bool BackgroundThreads::sleepFor(std::chrono::milliseconds duration)
{
    return m_clock.sleepFor(duration, [this] { return m_stopping.load(); });
}

} // namespace tavoren::installer
