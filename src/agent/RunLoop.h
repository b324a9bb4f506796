#pragma once

#include <chrono>
#include <functional>

namespace tavoren::agent {

// The main thread's loop: a repeating timer and the signals the agent
// answers, taken synchronously (sigtimedwait), so no code runs in a signal
// handler.
//   SIGUSR1          one extra timer action now; the schedule stays
//   SIGCHLD          `childEnded`
//   SIGHUP           `restart`, which returns only when it failed; the
//                    process then ends as on SIGTERM (by SIGHUP without one)
//   SIGTERM, SIGINT  the process ends by that signal
class RunLoop
{
public:
    struct Actions
    {
        std::function<void()> timer;
        std::function<void()> childEnded;
        std::function<void()> restart;
    };

    // Blocks the loop's signals in the calling thread. Call it before any
    // thread starts, so that every thread inherits the mask.
    static void blockSignals();

    [[noreturn]] static void run(std::chrono::seconds interval, const Actions &actions);
};

} // namespace tavoren::agent
