#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace tavoren::installer {

// The way to the privileged helper tool: one connection per request, one
// request line out, one reply line back. One implementation per platform.
class HelperChannel
{
public:
    enum class Failure {
        None,
        CouldNotCreate, // no connection object at all
        Invalid,        // nobody (trustworthy) serves the helper's name
        Interrupted,    // closed before the reply
        Cancelled,
    };

    class Connection
    {
    public:
        virtual ~Connection() = default;
        virtual Failure send(const QByteArray &line) = 0;
        // Waits for one reply line (without its line end), or until
        // `cancelled` answers true (asked every fraction of a second).
        virtual Failure receive(QByteArray *line, const std::function<bool()> &cancelled) = 0;
    };

    virtual ~HelperChannel() = default;
    virtual std::unique_ptr<Connection> connect(Failure *failure) = 0;

    // The platform's channel to the helper tool's service.
    static std::shared_ptr<HelperChannel> platform();
};

} // namespace tavoren::installer
