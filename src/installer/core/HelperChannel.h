#pragma once

#include "shared/Expected.h"

#include <QByteArray>
#include <functional>
#include <memory>

namespace tavoren::installer {

// The way to the privileged helper tool: one connection per request, one
// request line out, one reply line back. One implementation per platform.
// A failure's Error names the step that failed in its action, which is what
// the installer's log tells apart:
class HelperChannel
{
public:
    // No connection object could be made at all.
    static constexpr const char *createAction = "create a connection to";
    // Nobody (trustworthy) serves the helper's name.
    static constexpr const char *connectAction = "connect to";
    // The connection closed before the reply (sending or receiving).
    static constexpr const char *sendAction = "send to";
    static constexpr const char *receiveAction = "receive from";
    // receive() gave up because `cancelled` answered true: receiveAction
    // with the code ECANCELED.

    class Connection
    {
    public:
        virtual ~Connection() = default;
        virtual shared::Expected<void> send(const QByteArray &line) = 0;
        // Waits for one reply line (without its line end), or until
        // `cancelled` answers true (asked every fraction of a second).
        virtual shared::Expected<QByteArray> receive(const std::function<bool()> &cancelled) = 0;
    };

    virtual ~HelperChannel() = default;
    virtual shared::Expected<std::unique_ptr<Connection>> connect() = 0;
};

} // namespace tavoren::installer
