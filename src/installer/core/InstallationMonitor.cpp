#include "installer/core/InstallationMonitor.h"

#include "installer/core/BackgroundThreads.h"
#include "installer/core/InstallerLog.h"
#include "installer/core/InstallerState.h"
#include "shared/HelperProtocol.h"

namespace tavoren::installer {

InstallationMonitor::InstallationMonitor(InstallerLog &log, InstallerState &state, BackgroundThreads &threads,
                                         shared::Clock &clock, const InstallerTiming &timing)
    : m_log(log)
    , m_state(state)
    , m_threads(threads)
    , m_clock(clock)
    , m_timing(timing)
{
}

ProgressFile::Tail InstallationMonitor::readTail(const HelperClient::Call &call) const
{
    // The helper tool makes the working folder its own when another user's
    // is in the way, so the installer's is looked at again on every read.
    const auto folder = m_log.workingFolder();
    ProgressFile::Tail tail = folder ? ProgressFile::read(*folder, shared::HelperProtocol::progressName) : ProgressFile::Tail{};
    if (tail.exists && call.staleProgressFile && tail.identity == *call.staleProgressFile)
        return {};
    return tail;
}

void InstallationMonitor::fail(const QString &line)
{
    if (m_state.installFailed)
        return;
    m_log.WriteLog(line);
    m_state.installFailed = true;
}

void InstallationMonitor::follow(const HelperClient::Call &call, const Report &report)
{
    if (!readTail(call).exists)
        m_threads.sleepFor(m_timing.missingProgressFileWait);
    Watch watch{call, {}, {}, m_clock.steadyNow()};
    while (m_threads.sleepFor(m_timing.pollInterval)) {
        if (!pass(watch, report))
            break;
    }
}

void InstallationMonitor::checkStall(Watch &watch, const ProgressFile::Tail &tail)
{
    const auto now = m_clock.steadyNow();
    const ProgressFile::Tail &previous = watch.previous;
    if (tail.exists != previous.exists || !(tail.identity == previous.identity) || tail.size != previous.size)
        watch.lastChange = now;
    else if (now - watch.lastChange >= m_timing.stallTimeout)
        fail(QStringLiteral("No progress for %1 seconds: the installation is taken as failed")
                 .arg(m_timing.stallTimeout.count()));
    watch.previous = tail;
}

bool InstallationMonitor::pass(Watch &watch, const Report &report)
{
    // Without a folder to read it in, the progress is lost once the helper
    // has answered.
    if (!m_log.workingFolder() && watch.call.hasEnded())
        fail(QStringLiteral("The progress of the installation cannot be followed"));
    const ProgressFile::Tail tail = readTail(watch.call);
    checkStall(watch, tail);

    const auto done = ProgressTracker::installationDoneStatus(tail.last);
    if (done && *done > 0)
        fail(QStringLiteral("The package installer ended with exit status %1").arg(*done));
    const ProgressTracker::Pass seen =
        watch.tracker.pass(ProgressTracker::examinedLine(tail.secondToLast), m_state.installFailed);
    if (seen.sawFailure)
        m_state.installFailed = true;
    // A failure seen elsewhere (the helper, the exit status, the time limit)
    // ends the loop on this pass: its line says so, whatever the examined
    // line was.
    const bool failed = m_state.installFailed;
    report(seen.percent, failed ? QString::fromLatin1(ProgressTracker::failedStatus) : seen.status);
    return !failed && !done;
}

} // namespace tavoren::installer
