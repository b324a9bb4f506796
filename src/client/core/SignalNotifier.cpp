#include "client/core/SignalNotifier.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace tavoren::client {

namespace {
// Lock-free, so the handler may read it; -1 once the pair is gone, so a late
// signal never writes into a descriptor number reused since.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const auto written = ::write(g_writeEnd, &byte, 1);
    errno = saved;
}
} // namespace

SignalNotifier::SignalNotifier(std::initializer_list<int> signalNumbers, QObject *parent)
    : QObject(parent)
{
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0)
        return;
    m_readEnd.reset(pair[0]);
    m_writeEnd.reset(pair[1]);
    g_writeEnd = m_writeEnd.get();
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalNotifier::readSignals);
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : signalNumbers)
        ::sigaction(signalNumber, &action, nullptr);
}

SignalNotifier::~SignalNotifier()
{
    g_writeEnd = -1;
    m_notifier.reset();
}

void SignalNotifier::readSignals()
{
    unsigned char byte = 0;
    while (::read(m_readEnd.get(), &byte, 1) == 1)
        emit received(byte);
}

} // namespace tavoren::client
