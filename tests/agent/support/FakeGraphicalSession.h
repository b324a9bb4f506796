#pragma once

#include "agent/GraphicalSession.h"

#include <mutex>
#include <optional>
#include <string>

namespace tavoren::testsupport {

// A graphical session the test switches on and off; reachable at first.
// Safe to ask from the agent's threads while the test changes it.
class FakeGraphicalSession final : public agent::GraphicalSession
{
public:
    // Unreachable for `reason` from now on.
    void goAway(const std::string &reason);
    void comeBack();

    shared::Expected<void> reachable() const override;

private:
    mutable std::mutex m_mutex;
    std::optional<std::string> m_reason;
};

} // namespace tavoren::testsupport
