#include "installer/core/PkexecHelperAuthorization.h"

#include "installer/core/KYGlobalConstants.h"

#include <QProcess>
#include <unistd.h>

namespace tavoren::installer {

namespace {
constexpr int pkexecDismissed = 126;
constexpr int pkexecNotAuthorized = 127;
constexpr int cancelCheckMilliseconds = 200;

QString lastLine(const QByteArray &output)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    return QString::fromUtf8(lines.isEmpty() ? QByteArray() : lines.last().trimmed());
}
} // namespace

PkexecHelperAuthorization::PkexecHelperAuthorization(QString bundlePath, QString pkexecPath)
    : m_bundlePath(std::move(bundlePath))
    , m_pkexecPath(std::move(pkexecPath))
{
}

QString PkexecHelperAuthorization::helperInBundle(const QString &label) const
{
    return m_bundlePath + KYGlobalConstants::helperToolsInBundle + label;
}

HelperAuthorization::Outcome PkexecHelperAuthorization::bless(const QString &label, const std::atomic<bool> &cancel)
{
    const bool asRoot = ::geteuid() == 0;
    const QString helper = helperInBundle(label);
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    if (asRoot)
        process.start(helper, {QStringLiteral("--bless")});
    else
        process.start(m_pkexecPath, {helper, QStringLiteral("--bless")});

    Outcome outcome;
    if (!process.waitForStarted()) {
        if (asRoot) {
            outcome.authorized = true;
            outcome.error = QStringLiteral("The helper tool %1 cannot be started: %2").arg(helper, process.errorString());
        } else {
            // No pkexec: nobody can authorise.
            outcome.status = pkexecNotAuthorized;
        }
        return outcome;
    }
    while (!process.waitForFinished(cancelCheckMilliseconds)) {
        if (cancel || process.state() == QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            outcome.status = pkexecDismissed;
            return outcome;
        }
    }
    const bool exited = process.exitStatus() == QProcess::NormalExit;
    const int status = exited ? process.exitCode() : -1;
    if (!asRoot && exited && (status == pkexecDismissed || status == pkexecNotAuthorized)) {
        outcome.status = status;
        return outcome;
    }
    outcome.authorized = true;
    outcome.blessed = status == 0;
    if (!outcome.blessed) {
        const QString reason = lastLine(process.readAllStandardError());
        outcome.error = (reason.isEmpty() ? QStringLiteral("The helper tool could not be blessed") : reason)
                        + (exited ? QStringLiteral(" (exit status %1)").arg(status) : QStringLiteral(" (ended by a signal)"));
    }
    return outcome;
}

} // namespace tavoren::installer
