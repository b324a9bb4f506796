#pragma once

#include "shared/Descriptor.h"
#include "shared/SystemLog.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tavoren::agent {

// Takes job messages on the agent's listening socket. A message is whole at
// the end separator, a NUL, the peer's end of writing or the buffer's size,
// however many writes it came in. Connections are read side by side, each
// within its own time limit, so a silent peer never holds up another; whole
// messages are handed on one at a time, in the order they became whole.
// After a whole message the peer gets one answer byte (HandOff::clientStarted
// or clientNotStarted), unless it has gone or would make the server wait;
// a connection without a message gets none.
class HandOffServer
{
public:
    class Receiver
    {
    public:
        virtual ~Receiver() = default;
        // Called on the serving thread with the message's job argument; true
        // when the client was started.
        virtual bool jobArrived(const std::string &jobArgument) = 0;
    };

    struct Settings
    {
        // From the connection to the whole message.
        std::chrono::milliseconds readTimeout{5000};
        // Connections read at once; more wait in the listen queue.
        std::size_t maximumConnections = 16;
        // The users whose connections are taken; others are dropped.
        std::vector<uid_t> allowedPeers;
    };

    // `listener` is a listening stream socket; it stays the caller's.
    HandOffServer(int listener, Settings settings, Receiver &receiver, shared::SystemLog &log);
    HandOffServer(const HandOffServer &) = delete;
    HandOffServer &operator=(const HandOffServer &) = delete;

    // Serves until stop(): true then, false (errno set) when waiting failed.
    bool run();
    // Makes run() return; from any thread.
    void stop();

    // Whether bytes read so far make a whole message. Only what lies at or
    // after `from` is new.
    static bool isWhole(std::string_view bytes, std::size_t from = 0);

private:
    struct Connection;
    using Clock = std::chrono::steady_clock;

    void acceptConnections(std::vector<Connection> &connections);
    // True when the connection is done with.
    bool readFrom(Connection &connection);
    void finish(const Connection &connection);
    bool isAllowed(uid_t uid) const;

    const int m_listener;
    const Settings m_settings;
    Receiver &m_receiver;
    shared::SystemLog &m_log;
    shared::Descriptor m_stopRead;
    shared::Descriptor m_stopWrite;
    int m_stopError = 0;
    Clock::time_point m_listenerPausedUntil{};
};

} // namespace tavoren::agent
