#include "installer/core/KYInstaller.h"

#include "installer/core/InstallerUser.h"
#include "installer/core/KYGlobalConstants.h"
#include "installer/core/ProgressOutput.h"
#include "installer/core/ScriptRunner.h"
#include "installer/core/SystemDetails.h"
#include "installer/core/SystemVersionSource.h"
#include "installer/core/VersionDetection.h"
#include "shared/Clock.h"
#include "shared/HelperProtocol.h"
#include "shared/InstalledPaths.h"
#include "shared/SystemPath.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>

namespace tavoren::installer {

namespace {
using Protocol = shared::HelperProtocol;
using Installed = shared::InstalledPaths;

constexpr std::chrono::milliseconds waitStep{100};
// The removal bar: 0.5 per step up to 70.5, 1001 steps at most.
constexpr double uninstallStep = 0.5;
constexpr double uninstallCeiling = 70.0;
constexpr int uninstallSteps = 1000;

QString system(const char *path)
{
    return QString::fromStdString(shared::SystemPath::resolve(path));
}

// The script path as a shell would take the word: one pair of quotes around
// it is taken off; there is no shell to read anything else into it.
QString unquoted(const QString &path)
{
    if (path.size() >= 2 && (path.front() == QLatin1Char('"') || path.front() == QLatin1Char('\''))
        && path.back() == path.front())
        return path.mid(1, path.size() - 2);
    return path;
}

InstallerLog::Settings logSettings()
{
    return {shared::SystemPath::resolve(Protocol::workingFolder), KYGlobalConstants::logFileSizeLimit};
}
} // namespace

std::optional<KYInstaller::SilentArguments> KYInstaller::silentArguments(const QStringList &arguments)
{
    if (arguments.size() < 3 || arguments.at(1).compare(QLatin1String("-s"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    SilentArguments result;
    result.userName = arguments.at(2);
    result.isPublic = arguments.size() > 3 && arguments.at(3).compare(QLatin1String("PUBLIC"), Qt::CaseInsensitive) == 0;
    return result;
}

QString KYInstaller::bundlePathOf(const QString &executableFolder)
{
    const QString folder = QDir::cleanPath(executableFolder);
    if (folder.endsWith(QLatin1String("/Contents/MacOS")))
        return QDir::cleanPath(folder + QLatin1String("/../.."));
    return folder;
}

QString KYInstaller::formatted(QString format, const QStringList &arguments)
{
    qsizetype from = 0;
    for (const QString &argument : arguments) {
        const qsizetype at = format.indexOf(QLatin1String("%@"), from);
        if (at < 0)
            break;
        format.replace(at, 2, argument);
        from = at + argument.size();
    }
    return format;
}

KYInstaller::KYInstaller(InstallerFrontEnd &frontEnd, Environment environment, QObject *parent)
    : QObject(parent)
    , m_frontEnd(frontEnd)
    , m_environment(std::move(environment))
    , m_log(logSettings(), m_environment.systemLog, *m_environment.clock)
    , m_helperClient(*m_environment.helperChannel, *m_environment.authorization, *m_environment.clock, m_log, m_state,
                     m_threads)
    , m_monitor(m_log, m_state, m_threads, *m_environment.clock, m_environment.timing)
    , m_threads(*m_environment.clock)
{
    if (!m_environment.localized)
        m_environment.localized = [](const QString &key) { return key; };
}

KYInstaller::~KYInstaller()
{
    m_threads.stop();
    if (m_fileMonitoringtask)
        m_fileMonitoringtask->stop();
}

QString KYInstaller::localized(const QString &key) const
{
    return m_environment.localized(key);
}

std::chrono::milliseconds KYInstaller::replyLimit() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_environment.timing.helperReplyTimeout);
}

void KYInstaller::post(std::function<void()> task)
{
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

bool KYInstaller::postAndWait(std::function<void()> task)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    shared::Clock &clock = *m_environment.clock;
    post([task = std::move(task), done, &clock] {
        task();
        done->set_value();
        clock.wake();
    });
    auto ready = [&] { return finished.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    while (!ready()) {
        if (m_threads.stopping())
            return false;
        clock.sleepFor(waitStep, [&] { return m_threads.stopping() || ready(); });
    }
    return true;
}

void KYInstaller::reportProgress(double value, const QString &text)
{
    post([this, value, text] { m_frontEnd.displayProgressInfo({value, text}); });
}

void KYInstaller::configure(const QStringList &arguments)
{
    if (const auto silent = silentArguments(arguments)) {
        m_state.isSilentInstall = true;
        m_state.setCurUserName(silent->userName);
        m_state.isPrivateComputerAccepted = !silent->isPublic;
    } else {
        m_state.setCurUserName(m_environment.user->loginName());
    }
}

void KYInstaller::start(const QStringList &arguments)
{
    configure(arguments);
    initLogFile();
    if (m_state.isSilentInstall)
        WriteLog(QStringLiteral("Silent Installation!!!"));
    initApps();
}

void KYInstaller::initLogFile()
{
    m_log.initLogFile();
}

void KYInstaller::WriteLog(const QString &message)
{
    m_log.WriteLog(message);
}

// ---- Detection

QString KYInstaller::packagePath() const
{
    return QFileInfo(m_environment.bundlePath).path() + m_selectedApp.pkgName();
}

QString KYInstaller::versionListPath() const
{
    return QFileInfo(m_environment.bundlePath).path() + KYGlobalConstants::versionListName;
}

std::optional<QString> KYInstaller::availablePackageVersion() const
{
    std::lock_guard lock(m_mutex);
    return m_availablePackageVersion;
}

void KYInstaller::getSystemVersionDetails()
{
    const SystemDetails::Version version = SystemDetails::parse(m_environment.systemVersion->productVersion());
    m_osVersionMajor = version.major;
    m_osVersionMinor = version.minor;
    for (const QString &line : SystemDetails::logLines(version, m_state.curUserName()))
        WriteLog(line);
}

void KYInstaller::initApps()
{
    getSystemVersionDetails();
    if (!m_state.isSilentInstall)
        m_frontEnd.setDestinationDiskDetails();
    m_selectedApp.setPkgName(QLatin1String(Protocol::mediumPackage));
    const QString package = packagePath();
    if (QFileInfo(package).isFile()) {
        m_selectedApp.isInstalled = false;
        m_selectedApp.setInstalledVersion(QString());
        m_selectedApp.isSelectedForInstall = true;
        m_frontEnd.showPackageFound();
        m_threads.start([this] { initAppsDetailsInBackground(); });
        return;
    }
    m_state.isTermsAndConditionsAccepted = false;
    WriteLog(QStringLiteral("The driver package is missing: %1").arg(package));
    m_frontEnd.showPackageMissing(localized(QStringLiteral("MissingPackage")));
}

void KYInstaller::initAppsDetailsInBackground()
{
    const auto available = VersionDetection::getAvailableApplicationVersions(versionListPath());
    {
        std::lock_guard lock(m_mutex);
        m_availablePackageVersion = available;
    }
    if (const auto installed = VersionDetection::getInstalledApplicationVersions(system(Installed::receipt))) {
        m_selectedApp.setInstalledVersion(*installed);
        m_selectedApp.isInstalled = true;
    }
    postAndWait([this] { onAppsInitializationComplete(); });
}

void KYInstaller::onAppsInitializationComplete()
{
    if (m_state.isSilentInstall) {
        m_log.console(QStringLiteral("Silent installation: Will start installation"));
        proceedWithInstallation();
        return;
    }
    const QString displayName = localized(QStringLiteral("displayName"));
    const auto available = availablePackageVersion();
    const QString label = available ? formatted(QStringLiteral("%@\n%@"), {displayName, *available}) : displayName;
    std::optional<QString> warning;
    if (m_selectedApp.isInstalled)
        warning = formatted(localized(QStringLiteral("AppInstalledWarningMessage")),
                            {displayName, m_selectedApp.installedVersion()});
    m_state.isInitializationComplete = true;
    m_frontEnd.showDetectionResult(label, warning);
}

// ---- Installation

void KYInstaller::proceedWithInstallation()
{
    if (m_preparing || m_state.installationInProgress || m_state.uninstallationInProgress)
        return;
    m_preparing = true;
    // The probe's answer and a blessing may each take a while (the user
    // answers a prompt): off the main thread.
    m_threads.start([this] { prepareHelper(); });
}

void KYInstaller::prepareHelper()
{
    const auto probe = m_helperClient.xpcConnection(QStringLiteral("ls %1").arg(QLatin1String(Protocol::probeFolder)), false);
    if (!m_helperClient.awaitHelper(probe, replyLimit())) {
        if (m_threads.stopping())
            return;
        if (!m_state.installFailed) {
            WriteLog(QStringLiteral("No answer from the helper tool within %1 seconds")
                         .arg(m_environment.timing.helperReplyTimeout.count()));
            m_state.installFailed = true;
        }
    }
    const QString label = QLatin1String(Protocol::label);
    std::optional<QString> error;
    if (!m_helperClient.isHelperToolBlessed(label) || m_state.installFailed) {
        if (auto registered = m_helperClient.registerHelperTool(label); !registered)
            error = HelperClient::blessingErrorText(registered.error());
    }
    post([this, error] {
        m_preparing = false;
        if (error) {
            WriteLog(QStringLiteral("Failed to install the Helper Tool. Error: %1").arg(*error));
            m_frontEnd.helperRegistrationFailed();
            return;
        }
        continueInstallation();
    });
}

void KYInstaller::continueInstallation()
{
    m_state.installFailed = false;
    const bool silent = m_state.isSilentInstall;
    if (!silent)
        m_frontEnd.displayInstallationInProgressView();
    WriteLog(QStringLiteral("Preparing for Installation!!!"));
    if (!silent)
        m_state.isTermsAndConditionsAccepted = false;
    m_frontEnd.lockInstallationStart();
    m_frontEnd.setWindowCloseEnabled(false);
    if (!m_selectedApp.isInstalled) {
        startPackageInstallation();
        return;
    }
    WriteLog(QStringLiteral("Preparing for Uninstallation!!!"));
    m_frontEnd.setProgressHeadline(localized(QStringLiteral("Uninstalling")));
    m_frontEnd.displayProgressInfo({0, QString()});
    m_state.uninstallationInProgress = true;
    m_threads.start([this] { startUninstallationProgressUpdate(); });
    m_threads.start([this] { uninstallPreviousVersion(); });
}

void KYInstaller::startPackageInstallation()
{
    m_state.installationInProgress = true;
    m_frontEnd.setProgressHeadline(
        formatted(localized(QStringLiteral("Installing")), {localized(QStringLiteral("displayName"))}));
    m_frontEnd.displayProgressInfo({0, localized(QStringLiteral("PHASE_PrepareInstall"))});
    m_frontEnd.setWindowCloseEnabled(false);
    startMonitoringLogFile();
    m_threads.start([this] { installSelectedPackages(); });
}

void KYInstaller::startMonitoringLogFile()
{
    m_fileMonitoringtask = std::make_unique<InstallLogCapture>(
        m_log.workingFolder(), shared::SystemPath::resolve(Installed::systemInstallLog),
        KYGlobalConstants::captureFileName, m_environment.timing.capturePollInterval);
    if (!m_fileMonitoringtask->start())
        WriteLog(QStringLiteral("The system install log cannot be captured"));
}

void KYInstaller::installSelectedPackages()
{
    if (m_selectedApp.isSelectedForInstall)
        installPackage();
    // Closed mid-installation: nothing more is asked of the helper.
    if (m_threads.stopping())
        return;
    updateValueBasedOnPublicOrPrivateCheckBox();
    const bool failed = m_state.installFailed;
    WriteLog(failed ? QStringLiteral("Installation failed...") : QStringLiteral("Installation successful..."));
    post([this, failed] {
        m_frontEnd.displayProgressInfo({100, QString()});
        m_frontEnd.displayInstallFinishedView(failed);
    });
}

void KYInstaller::silentProgress(int percent, const QString &status)
{
    m_environment.progressOutput->write(QStringLiteral("%1:%2\n").arg(percent).arg(status).toUtf8());
}

void KYInstaller::reportInstallationPass(int percent, const QString &status)
{
    const bool silent = m_state.isSilentInstall;
    if (silent)
        silentProgress(percent, status);
    reportProgress(percent, silent || status.isEmpty() ? status : localized(status));
}

int KYInstaller::installPackage()
{
    const QString package = packagePath();
    WriteLog(QStringLiteral("Installing %1").arg(package));
    if (m_state.isSilentInstall)
        silentProgress(5, QStringLiteral("PHASE_PrepareInstall"));
    else
        reportProgress(5, localized(QStringLiteral("PHASE_PrepareInstall")));

    const QString command = QStringLiteral("%1 -pkg \"%2\" -target / -verboseR")
                                .arg(QLatin1String(Protocol::packageInstaller), package);
    const HelperClient::Call call = m_helperClient.xpcConnection(command, true);
    postAndWait([this] { m_frontEnd.updatesTheInstallationProgressbar(); });
    m_monitor.follow(call, [this](int percent, const QString &status) { reportInstallationPass(percent, status); });

    m_log.console(QStringLiteral("End of Installation"));
    if (m_fileMonitoringtask)
        m_fileMonitoringtask->stop();
    m_state.installationInProgress = false;
    return 1;
}

void KYInstaller::updateValueBasedOnPublicOrPrivateCheckBox()
{
    const QString admin = QString::fromLatin1(Installed::adminFile);
    if (!QFileInfo::exists(system(Installed::adminFile))) {
        WriteLog(QStringLiteral("No administrator file at %1: the public or private choice is not recorded").arg(admin));
        return;
    }
    const bool isPrivate = m_state.isPrivateComputerAccepted;
    // Written with root's rights by the helper tool, as the one accepted
    // shape, whoever runs the installer.
    const QString command = QStringLiteral("%1 -c \"Set :%2 %3\" \"%4\"")
                                .arg(QLatin1String(Protocol::plistBuddy), KYGlobalConstants::privateInstallKey,
                                     isPrivate ? QLatin1String("YES") : QLatin1String("NO"), admin);
    const auto outcome = m_helperClient.awaitHelper(m_helperClient.xpcConnection(command, false), replyLimit());
    if (outcome && outcome->replied && outcome->reply.completedWithSuccess()) {
        WriteLog(QStringLiteral("Recorded a %1 installation in %2")
                     .arg(isPrivate ? QLatin1String("private") : QLatin1String("public"), admin));
        return;
    }
    WriteLog(QStringLiteral("The public or private choice could not be recorded in %1").arg(admin));
    m_state.installFailed = true;
}

// ---- Removal of an installed version

void KYInstaller::uninstallPreviousVersion()
{
    WriteLog(QStringLiteral("Will delete existing Corvane Tavoren Driver."));
    runScriptWithAuthorization(QString::fromLatin1(Installed::uninstallScript));
    WriteLog(QStringLiteral("Older Corvane Tavoren Driver uninstalled successfully."));
    WriteLog(QStringLiteral("Uninstallation finished."));
    m_state.uninstallationInProgress = false;
}

void KYInstaller::runScriptWithAuthorization(const QString &path)
{
    if (m_state.isSilentInstall && m_environment.user->isRoot()) {
        runScriptDirectly(path);
        return;
    }
    const auto reply = m_helperClient.xpcConnection(
        QStringLiteral("%1 \"%2\"").arg(QLatin1String(Protocol::shell), path), false, false);
    // The helper would run the installation after the removal anyway (one
    // request at a time); waiting for it keeps the removal's bar and its log
    // lines true to what happens.
    m_helperClient.awaitHelper(reply, std::chrono::duration_cast<std::chrono::milliseconds>(m_environment.timing.stallTimeout));
}

void KYInstaller::runScriptDirectly(const QString &path)
{
    const QString script = QString::fromStdString(shared::SystemPath::resolve(unquoted(path).toStdString()));
    // Before an upgrade: the queue, its jobs, the settings and the running
    // agents stay for the new version.
    const auto ran = m_environment.scriptRunner->run(script, {QLatin1String(Protocol::upgradeArgument)},
                                                      m_threads.stopFlag());
    if (!ran && ran.error().code == ECANCELED)
        return;
    if (!ran && ran.error().action == ScriptRunner::untrustedAction) {
        WriteLog(QStringLiteral("The removal script %1 is not a file only root can change: it is not run").arg(script));
        return;
    }
    if (!ran) {
        WriteLog(QStringLiteral("The removal script %1 cannot be run: %2").arg(script, QString::fromStdString(ran.error().text)));
        return;
    }
    const QString output = QString::fromUtf8(ran->output).trimmed();
    if (!output.isEmpty())
        WriteLog(output);
    WriteLog(QStringLiteral("The removal script ended with exit status %1").arg(ran->exitStatus));
}

void KYInstaller::startUninstallationProgressUpdate()
{
    if (m_state.uninstallationInProgress) {
        double value = 0.0;
        int steps = 0;
        // After the last step the bar holds while the removal goes on.
        const auto holdInterval = std::max(m_environment.timing.pollInterval, std::chrono::milliseconds(10));
        while (m_state.uninstallationInProgress) {
            const bool stepping = steps <= uninstallSteps;
            if (stepping) {
                if (value <= uninstallCeiling) {
                    value += uninstallStep;
                    reportProgress(value, QString());
                }
                ++steps;
            }
            if (!m_threads.sleepFor(stepping ? m_environment.timing.pollInterval : holdInterval))
                return;
        }
    }
    WriteLog(QStringLiteral("Uninstallation completed successfully: will start installation progressbar"));
    reportProgress(100.0, localized(QStringLiteral("UninstallComplete")));
    if (!m_threads.sleepFor(m_environment.timing.uninstallCompletePause))
        return;
    post([this] { startPackageInstallation(); });
}

} // namespace tavoren::installer
