#include "installer/core/ProgressTracker.h"

#include "shared/HelperProtocol.h"

#include <algorithm>
#include <cmath>

namespace tavoren::installer {

namespace {
constexpr qsizetype examinedBytes = 1023;

struct PhaseRow
{
    QLatin1String prefix;
    QLatin1String key;
};

// The first row whose text the status begins with decides.
const PhaseRow phaseTable[] = {
    {QLatin1String("Writing files"), QLatin1String("PHASE_WriteFiles")},
    {QLatin1String("Running package scripts"), QLatin1String("PHASE_RunScripts")},
    {QLatin1String("Preparing for install"), QLatin1String("PHASE_PrepareInstall")},
    {QLatin1String("Preparing the disk"), QLatin1String("PHASE_PrepareDisk")},
    {QLatin1String("Preparing"), QLatin1String("PHASE_PrepareInstall")},
    {QLatin1String("Waiting for other"), QLatin1String("PHASE_Wait")},
    {QLatin1String("Configuring"), QLatin1String("PHASE_Configure")},
    {QLatin1String("Moving items into place"), QLatin1String("PHASE_MovingItems")},
    {QLatin1String("Cleaning up"), QLatin1String("PHASE_Cleaning")},
    {QLatin1String("Writing package receipts"), QLatin1String("PHASE_WritingPkg")},
    {QLatin1String("Registering updated applications"), QLatin1String("PHASE_Registering")},
    {QLatin1String("Validating"), QLatin1String("PHASE_ValidatePkgs")},
    {QLatin1String("Running installer"), QLatin1String("PHASE_RunInstallActions")},
    {QLatin1String("Finishing the Install"), QLatin1String("PHASE_FinishInstall")},
    {QLatin1String("Optimising system"), QLatin1String("PHASE_Optimising")},
};

const QLatin1String failureTexts[] = {
    QLatin1String("installer: The install failed"),
    QLatin1String("installer: The upgrade failed"),
    QLatin1String("installer: Certificate used to sign package is not trusted"),
    QLatin1String("installer: Error - the package path specified was invalid:"),
};

const QLatin1String phasePrefix("installer:PHASE:");
const QLatin1String successPhase("installer:PHASE:The software was successfully installed");
const QLatin1String statusPrefix("installer:STATUS:");
const QLatin1String percentPrefix("installer:%");

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}
} // namespace

QString ProgressTracker::examinedLine(const QByteArray &line)
{
    const QString text = QString::fromUtf8(line.left(examinedBytes));
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

QString ProgressTracker::phaseKey(const QString &status)
{
    for (const PhaseRow &row : phaseTable) {
        if (status.startsWith(row.prefix))
            return row.key;
    }
    return status;
}

bool ProgressTracker::containsFailureText(const QString &line)
{
    return std::any_of(std::begin(failureTexts), std::end(failureTexts),
                       [&](QLatin1String text) { return line.contains(text); });
}

std::optional<int> ProgressTracker::installationDoneStatus(const QByteArray &line)
{
    const QByteArray mark(shared::HelperProtocol::installationDone);
    if (!line.startsWith(mark))
        return std::nullopt;
    bool ok = false;
    const int status = line.mid(mark.size()).trimmed().toInt(&ok);
    return ok ? status : -1;
}

ProgressTracker::Pass ProgressTracker::pass(const QString &line, bool installFailed)
{
    Pass result;
    result.status = installFailed ? QString::fromLatin1(failedStatus) : QString();
    if (line.startsWith(phasePrefix) && !line.startsWith(successPhase))
        result.status = line.mid(phasePrefix.size());
    if (line.startsWith(statusPrefix))
        result.status = line.mid(statusPrefix.size());
    if (line.startsWith(percentPrefix))
        result.status = QStringLiteral("PHASE_RunScripts");
    if (containsFailureText(line)) {
        result.sawFailure = true;
        result.status = QString::fromLatin1(failedStatus);
    }
    if (!result.status.isEmpty()) {
        result.status = phaseKey(result.status);
        m_accumulator += step;
    }
    m_accumulator = std::min(m_accumulator, ceiling);
    result.percent = int(std::trunc(m_accumulator));
    return result;
}

} // namespace tavoren::installer
