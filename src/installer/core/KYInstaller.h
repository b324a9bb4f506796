#pragma once

#include "installer/core/BackgroundThreads.h"
#include "installer/core/HelperClient.h"
#include "installer/core/InstallLogCapture.h"
#include "installer/core/InstallationMonitor.h"
#include "installer/core/InstallerEnvironment.h"
#include "installer/core/InstallerFrontEnd.h"
#include "installer/core/InstallerLog.h"
#include "installer/core/InstallerState.h"
#include "installer/core/KYMirexApp.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tavoren::installer {

// The installer without its window: package detection, the removal of an
// installed version, the installation through the privileged helper tool
// (HelperClient) followed by its progress (InstallationMonitor), the
// public/private record and the installer's log. It lives on the main
// thread; each long step runs on a background thread of its own and reaches
// the front-end only by posting to the main thread.
class KYInstaller final : public QObject
{
    Q_OBJECT

public:
    using Environment = InstallerEnvironment;

    struct SilentArguments
    {
        QString userName;
        bool isPublic = false;
    };

    // "-s USER [PUBLIC]", "-s" and "PUBLIC" in any letter case; none
    // without silent mode.
    static std::optional<SilentArguments> silentArguments(const QStringList &arguments);
    // The application bundle holding an executable in "Contents/MacOS";
    // the executable's own folder otherwise.
    static QString bundlePathOf(const QString &executableFolder);
    // "%@" placeholders of a localised format filled in order.
    static QString formatted(QString format, const QStringList &arguments);

    KYInstaller(InstallerFrontEnd &frontEnd, Environment environment, QObject *parent = nullptr);
    ~KYInstaller() override;

    // Silent mode and the user's name from the arguments (element 0 the
    // program).
    void configure(const QStringList &arguments);
    // Start-up without a window: configure, the log, then package detection;
    // silent mode goes on by itself.
    void start(const QStringList &arguments);

    // The log.
    void initLogFile();
    void WriteLog(const QString &message);

    // Package detection (main thread), its background part, and its end.
    void initApps();
    void getSystemVersionDetails();

    // The installation (main thread): probe, blessing, removal, package.
    void proceedWithInstallation();
    void startPackageInstallation();

    InstallerState &state() { return m_state; }
    const KYMirexApp &selectedApp() const { return m_selectedApp; }
    InstallerLog &log() { return m_log; }
    // The package path: the bundle's folder followed by pkgName.
    QString packagePath() const;
    QString versionListPath() const;
    std::optional<QString> availablePackageVersion() const;
    int osVersionMajor() const { return m_osVersionMajor; }
    int osVersionMinor() const { return m_osVersionMinor; }

private:
    void initAppsDetailsInBackground();
    void onAppsInitializationComplete();
    // Probe, then blessing when needed, on a background thread.
    void prepareHelper();
    void continueInstallation();
    void startMonitoringLogFile();
    void installSelectedPackages();
    int installPackage();
    void updateValueBasedOnPublicOrPrivateCheckBox();
    void uninstallPreviousVersion();
    void startUninstallationProgressUpdate();
    void runScriptWithAuthorization(const QString &path);
    void runScriptDirectly(const QString &path);

    // One pass of the progress: silent mode's "PERCENT:STATUS" line, and the
    // front-end's record.
    void reportInstallationPass(int percent, const QString &status);
    void silentProgress(int percent, const QString &status);
    void post(std::function<void()> task);
    // Runs `task` on the main thread and waits for it; false when stopping.
    bool postAndWait(std::function<void()> task);
    QString localized(const QString &key) const;
    void reportProgress(double value, const QString &text);
    std::chrono::milliseconds replyLimit() const;

    InstallerFrontEnd &m_frontEnd;
    Environment m_environment;
    InstallerLog m_log;
    InstallerState m_state;
    KYMirexApp m_selectedApp;

    mutable std::mutex m_mutex;
    std::optional<QString> m_availablePackageVersion;
    int m_osVersionMajor = 0;
    int m_osVersionMinor = 0;
    bool m_preparing = false;

    std::unique_ptr<InstallLogCapture> m_fileMonitoringtask;
    HelperClient m_helperClient;
    InstallationMonitor m_monitor;
    // Declared last, so stopped (and joined) before anything its threads
    // use goes.
    BackgroundThreads m_threads;
};

} // namespace tavoren::installer
