#pragma once

#include "installer/core/ScriptRunner.h"

#include <mutex>

namespace tavoren::testsupport {

// The removal script's runner: records what it is asked to run and answers
// as the test says, without running anything.
class FakeScriptRunner final : public installer::ScriptRunner
{
public:
    enum class Answer { Runs, Untrusted, CannotStart };

    void setAnswer(Answer answer, const Result &result = {});
    // Each run as "SCRIPT ARGUMENTS...".
    QStringList runs() const;

    shared::Expected<Result> run(const QString &script, const QStringList &arguments,
                                 const std::atomic<bool> &cancel) override;

private:
    mutable std::mutex m_mutex;
    Answer m_answer = Answer::Runs;
    Result m_result;
    QStringList m_runs;
};

} // namespace tavoren::testsupport
