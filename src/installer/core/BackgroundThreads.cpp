#include "installer/core/BackgroundThreads.h"

namespace tavoren::installer {

BackgroundThreads::~BackgroundThreads()
{
    stop();
}

void BackgroundThreads::start(std::function<void()> task)
{
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return;
    m_threads.emplace_back(std::move(task));
}

void BackgroundThreads::stop()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        threads.swap(m_threads);
    }
    m_wake.notify_all();
    for (std::thread &thread : threads) {
        if (thread.joinable())
            thread.join();
    }
}

bool BackgroundThreads::sleepFor(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, duration, [this] { return m_stopping.load(); });
}

} // namespace tavoren::installer
