#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tavoren::shared {
class Clock;
}

namespace tavoren::installer {

// The installer's background threads: each long step gets a new one. They
// sleep and wait only on the installer's clock, so stop() wakes every one
// of them and joins them before their owner goes away.
class BackgroundThreads
{
public:
    explicit BackgroundThreads(shared::Clock &clock);
    ~BackgroundThreads();
    BackgroundThreads(const BackgroundThreads &) = delete;
    BackgroundThreads &operator=(const BackgroundThreads &) = delete;

    // False (nothing runs) once stop() has begun.
    bool start(std::function<void()> task);
    // Wakes every sleeper and waits for every thread to end.
    void stop();
    bool stopping() const { return m_stopping; }
    const std::atomic<bool> &stopFlag() const { return m_stopping; }

    // Sleeps; false when woken by stop().
    bool sleepFor(std::chrono::milliseconds duration);

private:
    shared::Clock &m_clock;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    struct Worker
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Worker> m_workers;
};

} // namespace tavoren::installer
