#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tavoren::agent {

// A serial task queue: tasks run one after another, in the order posted, on
// one thread of the queue's own.
class SerialQueue
{
public:
    SerialQueue();
    ~SerialQueue();
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    // Posts a task and returns at once.
    void async(std::function<void()> task);
    // Posts a task and waits until it has run.
    void sync(const std::function<void()> &task);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace tavoren::agent
