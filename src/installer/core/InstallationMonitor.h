#pragma once

#include "installer/core/HelperClient.h"
#include "installer/core/InstallerTiming.h"
#include "installer/core/ProgressFile.h"
#include "installer/core/ProgressTracker.h"
#include "shared/Clock.h"

#include <QString>
#include <functional>

namespace tavoren::installer {

class BackgroundThreads;
class InstallerLog;
struct InstallerState;

// Follows an installation through the progress message file the helper
// tool writes: one pass every poll interval over its last two lines, until
// the helper's "Installation_Done" line or a failure. A file that has not
// changed for the stall time fails the installation, so a helper that hangs
// cannot hold the installer for ever; so does a helper's failure, a failing
// exit status, or a file that can no longer be read once the helper has
// answered.
class InstallationMonitor
{
public:
    // One pass: the percentage and the status to show (a phase key,
    // "InstallFailed", the rest of an unlisted status line, or empty).
    using Report = std::function<void(int percent, const QString &status)>;

    InstallationMonitor(InstallerLog &log, InstallerState &state, BackgroundThreads &threads, shared::Clock &clock,
                        const InstallerTiming &timing);

    // Returns when the installation of `call` has ended or failed, or the
    // installer stops.
    void follow(const HelperClient::Call &call, const Report &report);

private:
    struct Watch
    {
        const HelperClient::Call &call;
        ProgressTracker tracker;
        ProgressFile::Tail previous;
        shared::Clock::TimePoint lastChange;
    };

    // The file as the helper writes it now; a stale one reads as none.
    ProgressFile::Tail readTail(const HelperClient::Call &call) const;
    // One pass; false when the loop ends.
    bool pass(Watch &watch, const Report &report);
    // The stall rule: the file's size or identity must change in time.
    void checkStall(Watch &watch, const ProgressFile::Tail &tail);
    // Fails the installation with `line`, once.
    void fail(const QString &line);

    InstallerLog &m_log;
    InstallerState &m_state;
    BackgroundThreads &m_threads;
    shared::Clock &m_clock;
    const InstallerTiming &m_timing;
};

} // namespace tavoren::installer
