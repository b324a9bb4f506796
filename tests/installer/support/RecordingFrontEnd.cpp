#include "RecordingFrontEnd.h"

namespace tavoren::testsupport {

bool RecordingFrontEnd::finished() const
{
    return calls.contains(QStringLiteral("finished:ok")) || calls.contains(QStringLiteral("finished:failed"));
}

void RecordingFrontEnd::showPackageFound()
{
    calls.append(QStringLiteral("found"));
}

void RecordingFrontEnd::showPackageMissing(const QString &text)
{
    calls.append(QStringLiteral("missing:") + text);
}

void RecordingFrontEnd::showDetectionResult(const QString &label, const std::optional<QString> &warning)
{
    calls.append(QStringLiteral("detected:") + label + QLatin1Char('|') + warning.value_or(QStringLiteral("-")));
}

void RecordingFrontEnd::setDestinationDiskDetails()
{
    calls.append(QStringLiteral("disk"));
}

void RecordingFrontEnd::helperRegistrationFailed()
{
    calls.append(QStringLiteral("helper failed"));
}

void RecordingFrontEnd::lockInstallationStart()
{
    calls.append(QStringLiteral("lock"));
}

void RecordingFrontEnd::setWindowCloseEnabled(bool enabled)
{
    calls.append(QStringLiteral("close:") + (enabled ? QLatin1String("on") : QLatin1String("off")));
}

void RecordingFrontEnd::displayInstallationInProgressView()
{
    calls.append(QStringLiteral("progress view"));
}

void RecordingFrontEnd::setProgressHeadline(const QString &text)
{
    calls.append(QStringLiteral("headline:") + text);
}

void RecordingFrontEnd::updatesTheInstallationProgressbar()
{
    calls.append(QStringLiteral("bar"));
}

void RecordingFrontEnd::displayProgressInfo(const ProgressRecord &record)
{
    calls.append(QStringLiteral("%1:%2").arg(record.progressValue).arg(record.progressString));
}

void RecordingFrontEnd::displayInstallFinishedView(bool failed)
{
    calls.append(failed ? QStringLiteral("finished:failed") : QStringLiteral("finished:ok"));
}

} // namespace tavoren::testsupport
