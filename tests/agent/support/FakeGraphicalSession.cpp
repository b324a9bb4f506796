#include "support/FakeGraphicalSession.h"

namespace tavoren::testsupport {

void FakeGraphicalSession::goAway(const std::string &reason)
{
    std::lock_guard lock(m_mutex);
    m_reason = reason;
}

void FakeGraphicalSession::comeBack()
{
    std::lock_guard lock(m_mutex);
    m_reason.reset();
}

std::optional<std::string> FakeGraphicalSession::unreachable() const
{
    std::lock_guard lock(m_mutex);
    return m_reason;
}

} // namespace tavoren::testsupport
