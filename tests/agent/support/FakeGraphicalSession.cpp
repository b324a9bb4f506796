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

shared::Expected<void> FakeGraphicalSession::reachable() const
{
    std::lock_guard lock(m_mutex);
    if (m_reason)
        return shared::Error::because("show a window", "", *m_reason);
    return {};
}

} // namespace tavoren::testsupport
