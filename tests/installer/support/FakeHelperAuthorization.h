#pragma once

#include "installer/core/HelperAuthorization.h"

#include <mutex>

namespace tavoren::testsupport {

// The helper tool's authorisation and blessing as a test decides them: the
// user dismisses the prompt (126), is not authorised (127), or the helper
// cannot be blessed once authorised; or it blesses.
class FakeHelperAuthorization final : public installer::HelperAuthorization
{
public:
    enum class Answer { Blesses, Dismissed, NotAuthorized, BlessingFails };

    static constexpr const char *blessingFailure = "The helper tool could not be blessed (exit status 1)";

    void setAnswer(Answer answer);
    void setBlessed(bool blessed);
    int blessings() const;

    bool isBlessed(const QString &label) const override;
    shared::Expected<void> bless(const QString &label, const std::atomic<bool> &cancel) override;

private:
    mutable std::mutex m_mutex;
    Answer m_answer = Answer::Blesses;
    bool m_blessed = true;
    int m_blessings = 0;
};

} // namespace tavoren::testsupport
