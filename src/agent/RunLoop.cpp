#include "agent/RunLoop.h"

#include <cerrno>
#include <csignal>
#include <ctime>

namespace tavoren::agent {

namespace {
sigset_t loopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGUSR1, SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, signal);
    return set;
}

[[noreturn]] void endBy(int signal)
{
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
    std::_Exit(128 + signal);
}
} // namespace

void RunLoop::blockSignals()
{
    const sigset_t set = loopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void RunLoop::run(std::chrono::seconds interval, const Actions &actions)
{
    using Clock = std::chrono::steady_clock;
    const sigset_t set = loopSignals();
    auto next = Clock::now() + interval;
    for (;;) {
        const auto now = Clock::now();
        if (now >= next) {
            // Like a run-loop timer: a late firing does not fire twice.
            next += interval;
            if (next <= now)
                next = now + interval;
            actions.timer();
            continue;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(next - now);
        const timespec timeout{static_cast<time_t>(wait.count() / 1000000000), static_cast<long>(wait.count() % 1000000000)};
        siginfo_t info{};
        const int signal = ::sigtimedwait(&set, &info, &timeout);
        if (signal < 0)
            continue; // EAGAIN at the deadline, or EINTR
        switch (signal) {
        case SIGUSR1:
            actions.timer();
            break;
        case SIGCHLD:
            actions.childEnded();
            break;
        case SIGHUP:
            if (!actions.restart)
                endBy(signal);
            actions.restart();
            endBy(SIGTERM);
        default:
            endBy(signal);
        }
    }
}

} // namespace tavoren::agent
