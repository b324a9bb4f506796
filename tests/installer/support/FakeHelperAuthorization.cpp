#include "FakeHelperAuthorization.h"

namespace tavoren::testsupport {

void FakeHelperAuthorization::setAnswer(Answer answer)
{
    std::lock_guard lock(m_mutex);
    m_answer = answer;
}

void FakeHelperAuthorization::setBlessed(bool blessed)
{
    std::lock_guard lock(m_mutex);
    m_blessed = blessed;
}

int FakeHelperAuthorization::blessings() const
{
    std::lock_guard lock(m_mutex);
    return m_blessings;
}

bool FakeHelperAuthorization::isBlessed(const QString &) const
{
    std::lock_guard lock(m_mutex);
    return m_blessed;
}

shared::Expected<void> FakeHelperAuthorization::bless(const QString &label, const std::atomic<bool> &)
{
    std::lock_guard lock(m_mutex);
    ++m_blessings;
    switch (m_answer) {
    case Answer::Dismissed:
        return shared::Error::because(authorizeAction, label.toStdString(), "126");
    case Answer::NotAuthorized:
        return shared::Error::because(authorizeAction, label.toStdString(), "127");
    case Answer::BlessingFails:
        return shared::Error::because(blessAction, label.toStdString(), blessingFailure);
    case Answer::Blesses:
        break;
    }
    m_blessed = true;
    return {};
}

} // namespace tavoren::testsupport
