#pragma once

#include "printer-backend/Cancellation.h"
#include "printer-backend/UserAccount.h"

#include <chrono>
#include <string>

namespace tavoren::printerbackend {

// Sends one job message to the hand-off agent of a user: connect to the
// user's socket, one write, the end of writing, then wait (bounded) for the
// agent's answer byte.
class AgentNotifier
{
public:
    enum class Answer {
        Started,             // the agent started the client
        ClosedWithoutAnswer, // the agent went before it answered
        NotStarted,          // the client could not start, or an answer not understood
        NoAnswer,            // nothing within the time limit
        Unreachable,         // no agent of the user's took the message
        Cancelled,
    };
    struct Outcome
    {
        Answer answer = Answer::Unreachable;
        std::string reason; // for the log: may name the user and paths
    };

    explicit AgentNotifier(std::chrono::milliseconds timeout);

    // The socket of a user below the socket root in force.
    static std::string socketPath(const std::string &userName);

    // The time limit counts once for sending and again for the answer.
    Outcome send(const UserAccount &user, const std::string &message, const Cancellation &cancel = {}) const;

private:
    Outcome awaitAnswer(int socket, const std::string &path, const Cancellation &cancel) const;

    std::chrono::milliseconds m_timeout;
};

} // namespace tavoren::printerbackend
