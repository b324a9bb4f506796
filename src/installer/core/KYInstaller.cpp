#include "installer/core/KYInstaller.h"

#include "installer/core/KYGlobalConstants.h"
#include "installer/core/PkexecHelperAuthorization.h"
#include "installer/core/ProgressTracker.h"
#include "installer/core/SystemDetails.h"
#include "installer/core/VersionDetection.h"
#include "shared/LoginName.h"
#include "shared/SystemLog.h"
#include "shared/SystemPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::installer {

namespace {
constexpr std::chrono::milliseconds waitStep{100};
// The removal bar: 0.5 per step up to 70.5, 1001 steps at most.
constexpr double uninstallStep = 0.5;
constexpr double uninstallCeiling = 70.0;
constexpr int uninstallSteps = 1000;

QString system(const char *path)
{
    return QString::fromStdString(shared::SystemPath::resolve(path));
}

void console(const QString &message)
{
    shared::SystemLog::instance().write(message.toStdString());
}

QString helperFailureText(HelperChannel::Failure failure)
{
    switch (failure) {
    case HelperChannel::Failure::CouldNotCreate:
        return QStringLiteral("Failed to create XPC connection.");
    case HelperChannel::Failure::Invalid:
        return QStringLiteral("XPC connection invalid, releasing.");
    case HelperChannel::Failure::Interrupted:
        return QStringLiteral("XPC connection interupted.");
    case HelperChannel::Failure::None:
    case HelperChannel::Failure::Cancelled:
        break;
    }
    return QStringLiteral("Unexpected XPC connection error.");
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

KYInstaller::Environment KYInstaller::platformEnvironment(const QString &bundlePath)
{
    Environment environment;
    environment.bundlePath = bundlePath;
    environment.timing = InstallerTiming::fromEnvironment();
    environment.helperChannel = HelperChannel::platform();
    environment.authorization = std::make_shared<PkexecHelperAuthorization>(bundlePath, system(KYGlobalConstants::pkexec));
    environment.progressOutput = [](const QByteArray &line) {
        std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
        std::fflush(stdout);
    };
    return environment;
}

KYInstaller::KYInstaller(InstallerFrontEnd &frontEnd, Environment environment, QObject *parent)
    : QObject(parent)
    , m_frontEnd(frontEnd)
    , m_environment(std::move(environment))
    , m_log(m_environment.log ? m_environment.log : std::make_shared<InstallerLog>())
{
    if (!m_environment.localized)
        m_environment.localized = [](const QString &key) { return key; };
    if (!m_environment.progressOutput)
        m_environment.progressOutput = [](const QByteArray &) {};
}

KYInstaller::~KYInstaller()
{
    m_threads.stop();
    if (m_fileMonitoringtask)
        m_fileMonitoringtask->stop();
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

QString KYInstaller::localized(const QString &key) const
{
    return m_environment.localized(key);
}

void KYInstaller::post(std::function<void()> task)
{
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

bool KYInstaller::postAndWait(std::function<void()> task)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    post([task = std::move(task), done] {
        task();
        done->set_value();
    });
    while (finished.wait_for(waitStep) != std::future_status::ready) {
        if (m_threads.stopping())
            return false;
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
        m_state.setCurUserName(QString::fromStdString(shared::LoginName::current().value_or(std::string())));
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
    m_log->initLogFile();
}

void KYInstaller::WriteLog(const QString &message)
{
    m_log->WriteLog(message);
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
    const SystemDetails::Version version = SystemDetails::parse(SystemDetails::productVersion());
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
    m_selectedApp.setPkgName(KYGlobalConstants::pkgName);
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
    if (const auto installed = VersionDetection::getInstalledApplicationVersions(system(KYGlobalConstants::receipt))) {
        m_selectedApp.setInstalledVersion(*installed);
        m_selectedApp.isInstalled = true;
    }
    postAndWait([this] { onAppsInitializationComplete(); });
}

void KYInstaller::onAppsInitializationComplete()
{
    if (m_state.isSilentInstall) {
        console(QStringLiteral("Silent installation: Will start installation"));
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

// ---- The helper tool

bool KYInstaller::registerHelperTool(const QString &label, QString *error)
{
    const HelperAuthorization::Outcome outcome = m_environment.authorization->bless(label, m_threads.stopFlag());
    if (!outcome.authorized) {
        WriteLog(QStringLiteral("Failed to create AuthorizationRef. Error code: %1").arg(outcome.status));
        return false;
    }
    WriteLog(QStringLiteral("Authorization successful"));
    if (!outcome.blessed && error)
        *error = outcome.error;
    return outcome.blessed;
}

KYInstaller::HelperCall KYInstaller::xpcConnection(const QString &command, bool withProgressFile, bool outcomeMatters)
{
    auto promise = std::make_shared<std::promise<HelperOutcome>>();
    const HelperCall call{promise->get_future().share(), std::make_shared<std::atomic<bool>>(false)};
    auto fail = [&](const QString &line) {
        WriteLog(line);
        m_state.installFailed = true;
        promise->set_value({});
        return call;
    };

    HelperChannel::Failure failure = HelperChannel::Failure::None;
    std::shared_ptr<HelperChannel::Connection> connection = m_environment.helperChannel->connect(&failure);
    if (!connection)
        return fail(helperFailureText(failure));

    std::optional<QString> progressFile;
    if (withProgressFile) {
        const auto folder = m_log->workingFolder();
        const std::string name = KYGlobalConstants::progressMessageFileName;
        if (folder && !folder->remove(name)) {
            // Left by someone else: remember it, so its last line is never
            // taken for this installation's.
            WriteLog(QStringLiteral("Could not delete the old progress message file: %1")
                         .arg(QString::fromStdString(std::system_category().message(errno))));
            std::lock_guard lock(m_mutex);
            m_staleProgressFile = ProgressFile::read(*folder, name).identity;
        }
        progressFile = QString::fromLatin1(KYGlobalConstants::installProgressLog);
    }
    const QByteArray request = HelperMessage::request(command, progressFile);
    if (request.isEmpty())
        return fail(QStringLiteral("Unexpected XPC connection event.: %1").arg(QStringLiteral("request too large")));
    if (connection->send(request) != HelperChannel::Failure::None)
        return fail(helperFailureText(HelperChannel::Failure::Interrupted));

    const auto abandoned = call.abandoned;
    const bool started = m_threads.start([this, connection, promise, outcomeMatters, abandoned] {
        QByteArray line;
        const HelperChannel::Failure received =
            connection->receive(&line, [&] { return m_threads.stopping() || *abandoned; });
        // Whatever an abandoned request comes to belongs to no installation.
        if (received == HelperChannel::Failure::Cancelled || *abandoned) {
            promise->set_value({});
            return;
        }
        if (received != HelperChannel::Failure::None) {
            WriteLog(helperFailureText(received));
            m_state.installFailed = true;
            promise->set_value({});
            return;
        }
        const auto reply = HelperMessage::reply(line);
        if (!reply) {
            WriteLog(QStringLiteral("Unexpected XPC connection event.: %1").arg(QString::fromUtf8(line.left(200))));
            m_state.installFailed = true;
            promise->set_value({});
            return;
        }
        // Logged before the flag changes anything, so the line is there
        // whatever ends first.
        WriteLog(QStringLiteral("Received response: %1.").arg(reply->reply));
        if (outcomeMatters && reply->outcome != QLatin1String("completed"))
            m_state.installFailed = true;
        promise->set_value({true, *reply});
    });
    // The installer is going away: nobody waits for the answer.
    if (!started)
        promise->set_value({});
    return call;
}

std::optional<KYInstaller::HelperOutcome> KYInstaller::awaitHelper(const HelperCall &call, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (call.outcome.wait_for(waitStep) != std::future_status::ready) {
        if (m_threads.stopping() || std::chrono::steady_clock::now() >= deadline) {
            *call.abandoned = true;
            return std::nullopt;
        }
    }
    return call.outcome.get();
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
    const auto probe = xpcConnection(QStringLiteral("%1 /Applications/").arg(QLatin1String("ls")), false);
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(m_environment.timing.helperReplyTimeout);
    if (!awaitHelper(probe, limit)) {
        if (m_threads.stopping())
            return;
        if (!m_state.installFailed) {
            WriteLog(QStringLiteral("No answer from the helper tool within %1 seconds")
                         .arg(m_environment.timing.helperReplyTimeout.count()));
            m_state.installFailed = true;
        }
    }
    bool registered = true;
    QString error;
    if (!QFileInfo::exists(system(KYGlobalConstants::blessedHelper)) || m_state.installFailed) {
        error = QStringLiteral("(null)");
        registered = registerHelperTool(KYGlobalConstants::helperLabel, &error);
    }
    post([this, registered, error] {
        m_preparing = false;
        if (!registered) {
            WriteLog(QStringLiteral("Failed to install the Helper Tool. Error: %1").arg(error));
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
        m_log->workingFolder(), shared::SystemPath::resolve(KYGlobalConstants::systemInstallLog),
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
    m_environment.progressOutput(QStringLiteral("%1:%2\n").arg(percent).arg(status).toUtf8());
}

int KYInstaller::installPackage()
{
    const QString package = packagePath();
    const bool silent = m_state.isSilentInstall;
    WriteLog(QStringLiteral("Installing %1").arg(package));
    if (silent)
        silentProgress(5, QStringLiteral("PHASE_PrepareInstall"));
    else
        reportProgress(5, localized(QStringLiteral("PHASE_PrepareInstall")));

    // The helper tool makes the working folder its own when another user's
    // is in the way, so the installer's is looked at again on every read.
    const std::string name = KYGlobalConstants::progressMessageFileName;
    const QString command = QStringLiteral("%1 -pkg \"%2\" -target / -verboseR")
                                .arg(QLatin1String(KYGlobalConstants::packageInstaller), package);
    const HelperCall call = xpcConnection(command, true);
    postAndWait([this] { m_frontEnd.updatesTheInstallationProgressbar(); });

    std::optional<ProgressFile::Identity> stale;
    {
        std::lock_guard lock(m_mutex);
        stale = m_staleProgressFile;
    }
    auto readTail = [&] {
        const auto folder = m_log->workingFolder();
        ProgressFile::Tail tail = folder ? ProgressFile::read(*folder, name) : ProgressFile::Tail{};
        if (tail.exists && stale && tail.identity == *stale)
            return ProgressFile::Tail{};
        return tail;
    };
    if (!readTail().exists)
        m_threads.sleepFor(m_environment.timing.missingProgressFileWait);
    // Without a folder to read it in, the progress is lost once the helper
    // has answered.
    auto followable = [&] {
        return m_log->workingFolder() || call.outcome.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
    };

    ProgressTracker tracker;
    ProgressFile::Tail previous;
    auto lastChange = std::chrono::steady_clock::now();
    while (m_threads.sleepFor(m_environment.timing.pollInterval)) {
        if (!followable() && !m_state.installFailed) {
            WriteLog(QStringLiteral("The progress of the installation cannot be followed"));
            m_state.installFailed = true;
        }
        const ProgressFile::Tail tail = readTail();
        const auto now = std::chrono::steady_clock::now();
        if (tail.exists != previous.exists || !(tail.identity == previous.identity) || tail.size != previous.size) {
            lastChange = now;
        } else if (now - lastChange >= m_environment.timing.stallTimeout && !m_state.installFailed) {
            WriteLog(QStringLiteral("No progress for %1 seconds: the installation is taken as failed")
                         .arg(m_environment.timing.stallTimeout.count()));
            m_state.installFailed = true;
        }
        previous = tail;

        const auto done = ProgressTracker::installationDoneStatus(tail.last);
        if (done && *done > 0 && !m_state.installFailed) {
            WriteLog(QStringLiteral("The package installer ended with exit status %1").arg(*done));
            m_state.installFailed = true;
        }
        const ProgressTracker::Pass pass =
            tracker.pass(ProgressTracker::examinedLine(tail.secondToLast), m_state.installFailed);
        if (pass.sawFailure)
            m_state.installFailed = true;
        // A failure seen elsewhere (the helper, the exit status, the time
        // limit) ends the loop on this pass: its line says so, whatever
        // the examined line was.
        const QString status =
            m_state.installFailed ? QString::fromLatin1(ProgressTracker::failedStatus) : pass.status;
        if (silent)
            silentProgress(pass.percent, status);
        reportProgress(pass.percent, silent || status.isEmpty() ? status : localized(status));
        if (m_state.installFailed || done)
            break;
    }
    console(QStringLiteral("End of Installation"));
    if (m_fileMonitoringtask)
        m_fileMonitoringtask->stop();
    m_state.installationInProgress = false;
    return 1;
}

void KYInstaller::updateValueBasedOnPublicOrPrivateCheckBox()
{
    const QString admin = QString::fromLatin1(KYGlobalConstants::adminFile);
    if (!QFileInfo::exists(system(KYGlobalConstants::adminFile))) {
        WriteLog(QStringLiteral("No administrator file at %1: the public or private choice is not recorded").arg(admin));
        return;
    }
    const bool isPrivate = m_state.isPrivateComputerAccepted;
    // Written with root's rights by the helper tool, as the one accepted
    // shape, whoever runs the installer.
    const QString command = QStringLiteral("%1 -c \"Set :IsPrivateInstall %2\" \"%3\"")
                                .arg(QLatin1String(KYGlobalConstants::plistBuddy),
                                     isPrivate ? QLatin1String("YES") : QLatin1String("NO"), admin);
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(m_environment.timing.helperReplyTimeout);
    const auto outcome = awaitHelper(xpcConnection(command, false), limit);
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
    runScriptWithAuthorization(QString::fromLatin1(KYGlobalConstants::uninstallScript));
    WriteLog(QStringLiteral("Older Corvane Tavoren Driver uninstalled successfully."));
    WriteLog(QStringLiteral("Uninstallation finished."));
    m_state.uninstallationInProgress = false;
}

void KYInstaller::runScriptWithAuthorization(const QString &path)
{
    if (m_state.isSilentInstall && ::geteuid() == 0) {
        runScriptDirectly(path);
        return;
    }
    const auto reply = xpcConnection(QStringLiteral("%1 \"%2\"").arg(QLatin1String(KYGlobalConstants::shell), path),
                                     false, false);
    // The helper would run the installation after the removal anyway (one
    // request at a time); waiting for it keeps the removal's bar and its log
    // lines true to what happens.
    awaitHelper(reply, std::chrono::duration_cast<std::chrono::milliseconds>(m_environment.timing.stallTimeout));
}

void KYInstaller::runScriptDirectly(const QString &path)
{
    const QString script = QString::fromStdString(shared::SystemPath::resolve(unquoted(path).toStdString()));
    // It runs as root: a link, or a file someone else can change, is not run.
    struct stat status{};
    if (::lstat(QFile::encodeName(script).constData(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != 0
        || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        WriteLog(QStringLiteral("The removal script %1 is not a file only root can change: it is not run").arg(script));
        return;
    }
    QProcess shell;
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.setStandardInputFile(QProcess::nullDevice());
    // Before an upgrade: the queue, its jobs, the settings and the running
    // agents stay for the new version.
    shell.start(QString::fromLatin1(KYGlobalConstants::shell), {script, QStringLiteral("--upgrade")});
    if (!shell.waitForStarted()) {
        WriteLog(QStringLiteral("The removal script %1 cannot be run: %2").arg(script, shell.errorString()));
        return;
    }
    while (!shell.waitForFinished(int(waitStep.count()))) {
        if (m_threads.stopping()) {
            shell.kill();
            shell.waitForFinished();
            return;
        }
    }
    const QString output = QString::fromUtf8(shell.readAll()).trimmed();
    if (!output.isEmpty())
        WriteLog(output);
    WriteLog(QStringLiteral("The removal script ended with exit status %1").arg(shell.exitCode()));
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
