#include "client/core/SignalNotifier.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace tavoren::client {

namespace {
int g_writeEnd = -1;

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
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_pair) != 0)
        return;
    g_writeEnd = m_pair[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_pair[0], QSocketNotifier::Read);
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
    m_notifier.reset();
    for (int &fd : m_pair) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalNotifier::readSignals()
{
    unsigned char byte = 0;
    while (::read(m_pair[0], &byte, 1) == 1)
        emit received(byte);
}

} // namespace tavoren::client
