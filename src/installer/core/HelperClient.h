#pragma once

#include "installer/core/HelperChannel.h"
#include "installer/core/HelperMessage.h"
#include "installer/core/ProgressFile.h"
#include "shared/Expected.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>

namespace tavoren::shared {
class Clock;
}

namespace tavoren::installer {

class BackgroundThreads;
class HelperAuthorization;
class InstallerLog;
struct InstallerState;

// The installer's side of the privileged helper tool: one command per
// connection, its reply awaited on a background thread, and the blessing
// through the authorisation. Every failure is logged here; one that fails
// the installation sets installFailed.
class HelperClient
{
public:
    // What one request came to.
    struct Outcome
    {
        bool replied = false;
        HelperMessage::Reply reply;
    };
    // A request on its way: its outcome, and a switch to stop caring about
    // it (a late failure of an abandoned request then changes nothing).
    struct Call
    {
        std::shared_future<Outcome> outcome;
        std::shared_ptr<std::atomic<bool>> abandoned;
        // An old progress message file that could not be deleted before
        // the request: never to be taken for the new one.
        std::optional<ProgressFile::Identity> staleProgressFile;

        bool hasEnded() const;
    };

    HelperClient(HelperChannel &channel, HelperAuthorization &authorization, shared::Clock &clock, InstallerLog &log,
                 InstallerState &state, BackgroundThreads &threads);

    // Whether the helper tool labelled `label` is in place.
    bool isHelperToolBlessed(const QString &label) const;
    // Authorises and blesses the helper tool; the Error is the
    // authorisation's (HelperAuthorization::authorizeAction) or the
    // blessing's.
    shared::Expected<void> registerHelperTool(const QString &label);
    // What the caller's "Failed to install the Helper Tool" line names: the
    // blessing's reason, "(null)" when authorisation failed.
    static QString blessingErrorText(const shared::Error &error);

    // Sends one command line to the helper tool and returns at once; the
    // reply is logged when it comes. With `withProgressFile` the progress
    // message file goes with it (an older one is deleted first).
    // `outcomeMatters`: a refusal fails the installation.
    Call xpcConnection(const QString &command, bool withProgressFile, bool outcomeMatters = true);
    // Waits for the reply, at most `limit`; none when it did not come, and
    // the request is then abandoned.
    std::optional<Outcome> awaitHelper(const Call &call, std::chrono::milliseconds limit);

private:
    // Deletes the previous progress message file; what it could not delete
    // is remembered in the call.
    void discardProgressFile(Call *call);
    // On the background thread: the reply, or why there is none.
    Outcome receive(HelperChannel::Connection &connection, bool outcomeMatters, const std::atomic<bool> &abandoned);

    HelperChannel &m_channel;
    HelperAuthorization &m_authorization;
    shared::Clock &m_clock;
    InstallerLog &m_log;
    InstallerState &m_state;
    BackgroundThreads &m_threads;
};

} // namespace tavoren::installer
