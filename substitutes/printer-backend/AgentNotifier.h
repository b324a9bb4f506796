#pragma once

#include "printer-backend/UserAccount.h"

#include <chrono>
#include <string>

namespace tavoren::printerbackend {

// Sends one job message to the hand-off agent of a user: connect to the
// user's socket, one write, then wait (bounded) for the agent to close.
class AgentNotifier
{
public:
    struct Outcome
    {
        bool delivered = false;
        std::string reason; // why not
    };

    explicit AgentNotifier(std::chrono::milliseconds timeout);

    // The socket of a user below the socket root in force.
    static std::string socketPath(const std::string &userName);

    Outcome send(const UserAccount &user, const std::string &message) const;

private:
    std::chrono::milliseconds m_timeout;
};

} // namespace tavoren::printerbackend
