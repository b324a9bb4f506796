#pragma once

#include "installer/core/HelperChannel.h"

#include <QByteArrayList>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace tavoren::testsupport {

// The helper tool's channel as a test scripts it, without a helper or root:
// each new connection behaves as the next behaviour queued, or as the
// default one (Completes) once the queue is empty. An installation request
// (one that names the progress file) that is answered gets its progress
// lines and the "Installation_Done" line written to the progress file below
// the test's root first, as the helper would.
class FakeHelperChannel final : public installer::HelperChannel
{
public:
    enum class Behaviour {
        CannotCreate,  // no connection object at all
        Refuses,       // nobody serves: the connection is refused
        Hangs,         // takes the request and never answers
        ClosesHalfway, // a first progress line and half a reply, then closes
        AnswersLate,   // answers (as Completes) once released, or once given up on
        AnswersRefused,
        AnswersFailed,
        AnswersGarbage, // a reply line that is not JSON
        Completes,      // "completed" with status 0
    };

    void push(Behaviour behaviour);
    // What an answered installation writes before "Installation_Done".
    void setProgressLines(const QByteArrayList &lines);
    void setInstallationExitStatus(int status);
    // Lets the replies held by AnswersLate go.
    void release();

    // The commands received, in order.
    QStringList commands() const;
    // Receivers waiting for release() or for ever.
    int heldReplies() const;

    shared::Expected<std::unique_ptr<Connection>> connect() override;

private:
    class FakeConnection;
    friend class FakeConnection;

    shared::Expected<QByteArray> answer(Behaviour behaviour, const QByteArray &request,
                                        const std::function<bool()> &cancelled);
    // Holds a receiver until released (true) or cancelled (false); an
    // endless hold ends only when cancelled.
    bool hold(bool endless, const std::function<bool()> &cancelled);
    void writeProgress(const QString &progressFile, bool whole);

    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::deque<Behaviour> m_queue;
    QByteArrayList m_progressLines{"installer:PHASE:Writing files\xE2\x80\xA6", "installer: The install was successful."};
    int m_exitStatus = 0;
    bool m_release = false;
    int m_held = 0;
    QStringList m_commands;
};

} // namespace tavoren::testsupport
