#include "FakeScriptRunner.h"

namespace tavoren::testsupport {

void FakeScriptRunner::setAnswer(Answer answer, const Result &result)
{
    std::lock_guard lock(m_mutex);
    m_answer = answer;
    m_result = result;
}

QStringList FakeScriptRunner::runs() const
{
    std::lock_guard lock(m_mutex);
    return m_runs;
}

shared::Expected<installer::ScriptRunner::Result> FakeScriptRunner::run(const QString &script,
                                                                        const QStringList &arguments,
                                                                        const std::atomic<bool> &)
{
    std::lock_guard lock(m_mutex);
    m_runs.append((QStringList{script} + arguments).join(QLatin1Char(' ')));
    switch (m_answer) {
    case Answer::Untrusted:
        return shared::Error::because(untrustedAction, script.toStdString(), "it is not a file only root can change");
    case Answer::CannotStart:
        return shared::Error::because(startAction, script.toStdString(), "No such file or directory");
    case Answer::Runs:
        break;
    }
    return m_result;
}

} // namespace tavoren::testsupport
