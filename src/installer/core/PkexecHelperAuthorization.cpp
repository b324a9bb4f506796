#include "installer/core/PkexecHelperAuthorization.h"

#include "shared/HelperProtocol.h"
#include "shared/SystemPath.h"

#include <QFileInfo>
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

shared::Error refused(const QString &label, int status)
{
    return shared::Error::because(HelperAuthorization::authorizeAction, label.toStdString(), std::to_string(status));
}

shared::Error notBlessed(const QString &label, const QString &reason)
{
    return shared::Error::because(HelperAuthorization::blessAction, label.toStdString(), reason.toStdString());
}
} // namespace

PkexecHelperAuthorization::PkexecHelperAuthorization(QString bundlePath, QString pkexecPath)
    : m_bundlePath(std::move(bundlePath))
    , m_pkexecPath(std::move(pkexecPath))
{
}

QString PkexecHelperAuthorization::helperInBundle(const QString &label) const
{
    return m_bundlePath + QLatin1String(shared::HelperProtocol::toolsInBundle) + label;
}

bool PkexecHelperAuthorization::isBlessed(const QString &label) const
{
    const std::string blessed = std::string(shared::HelperProtocol::toolFolder) + '/' + label.toStdString();
    return QFileInfo::exists(QString::fromStdString(shared::SystemPath::resolve(blessed)));
}

shared::Expected<void> PkexecHelperAuthorization::bless(const QString &label, const std::atomic<bool> &cancel)
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

    if (!process.waitForStarted()) {
        // Without pkexec nobody can authorise.
        if (!asRoot)
            return refused(label, pkexecNotAuthorized);
        return notBlessed(label, QStringLiteral("The helper tool %1 cannot be started: %2").arg(helper, process.errorString()));
    }
    while (!process.waitForFinished(cancelCheckMilliseconds)) {
        if (cancel || process.state() == QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            return refused(label, pkexecDismissed);
        }
    }
    const bool exited = process.exitStatus() == QProcess::NormalExit;
    const int status = exited ? process.exitCode() : -1;
    if (!asRoot && exited && (status == pkexecDismissed || status == pkexecNotAuthorized))
        return refused(label, status);
    if (status == 0)
        return {};
    const QString reason = lastLine(process.readAllStandardError());
    return notBlessed(label, (reason.isEmpty() ? QStringLiteral("The helper tool could not be blessed") : reason)
                                 + (exited ? QStringLiteral(" (exit status %1)").arg(status)
                                           : QStringLiteral(" (ended by a signal)")));
}

} // namespace tavoren::installer
