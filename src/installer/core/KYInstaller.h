#pragma once

#include "installer/core/BackgroundThreads.h"
#include "installer/core/HelperAuthorization.h"
#include "installer/core/HelperChannel.h"
#include "installer/core/HelperMessage.h"
#include "installer/core/InstallLogCapture.h"
#include "installer/core/InstallerFrontEnd.h"
#include "installer/core/InstallerLog.h"
#include "installer/core/InstallerState.h"
#include "installer/core/InstallerTiming.h"
#include "installer/core/KYMirexApp.h"
#include "installer/core/ProgressFile.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <future>
#include <memory>
#include <optional>

namespace tavoren::installer {

// The installer without its window: package detection, the removal of an
// installed version, the installation through the privileged helper tool
// with its progress, the public/private record and the installer's log.
// It lives on the main thread; each long step runs on a background thread
// of its own and reaches the front-end only by posting to the main thread.
class KYInstaller final : public QObject
{
    Q_OBJECT

public:
    struct Environment
    {
        // The installer's application bundle; the package lies beside it.
        QString bundlePath;
        InstallerTiming timing;
        std::shared_ptr<HelperChannel> helperChannel;
        std::shared_ptr<HelperAuthorization> authorization;
        // The text of a localisation key; the key itself when it has none.
        std::function<QString(const QString &key)> localized;
        // Where silent mode writes its progress lines.
        std::function<void(const QByteArray &line)> progressOutput;
        std::shared_ptr<InstallerLog> log;
    };

    struct SilentArguments
    {
        QString userName;
        bool isPublic = false;
    };

    // What one request to the helper tool came to.
    struct HelperOutcome
    {
        bool replied = false;
        HelperMessage::Reply reply;
    };
    // A request on its way: its outcome, and a switch to stop caring about
    // it (a late failure of an abandoned request then changes nothing).
    struct HelperCall
    {
        std::shared_future<HelperOutcome> outcome;
        std::shared_ptr<std::atomic<bool>> abandoned;
    };

    // "-s USER [PUBLIC]", "-s" and "PUBLIC" in any letter case; none
    // without silent mode.
    static std::optional<SilentArguments> silentArguments(const QStringList &arguments);
    // The application bundle holding an executable in "Contents/MacOS";
    // the executable's own folder otherwise.
    static QString bundlePathOf(const QString &executableFolder);
    // The environment of the running program: platform pieces, timing from
    // the process environment, standard output.
    static Environment platformEnvironment(const QString &bundlePath);

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

    // Authorises and blesses the helper tool; false with `error` left
    // empty when authorisation failed, filled when blessing did.
    bool registerHelperTool(const QString &label, QString *error);
    // Sends one command line to the helper tool and returns at once; the
    // reply is logged on the main thread. With `withProgressFile` the
    // progress message file goes with it (an older one is deleted first).
    // `outcomeMatters`: a refusal fails the installation.
    HelperCall xpcConnection(const QString &command, bool withProgressFile, bool outcomeMatters = true);

    InstallerState &state() { return m_state; }
    const KYMirexApp &selectedApp() const { return m_selectedApp; }
    InstallerLog &log() { return *m_log; }
    // The package path: the bundle's folder followed by pkgName.
    QString packagePath() const;
    QString versionListPath() const;
    std::optional<QString> availablePackageVersion() const;
    int osVersionMajor() const { return m_osVersionMajor; }
    int osVersionMinor() const { return m_osVersionMinor; }

    // "%@" placeholders of a localised format filled in order.
    static QString formatted(QString format, const QStringList &arguments);

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

    // Waits for a helper reply, at most `limit`; none when it did not come,
    // and the request is then abandoned.
    std::optional<HelperOutcome> awaitHelper(const HelperCall &call, std::chrono::milliseconds limit);
    // Silent mode's "PERCENT:STATUS" line.
    void silentProgress(int percent, const QString &status);
    void post(std::function<void()> task);
    // Runs `task` on the main thread and waits for it; false when stopping.
    bool postAndWait(std::function<void()> task);
    QString localized(const QString &key) const;
    void reportProgress(double value, const QString &text);

    InstallerFrontEnd &m_frontEnd;
    Environment m_environment;
    std::shared_ptr<InstallerLog> m_log;
    InstallerState m_state;
    KYMirexApp m_selectedApp;

    mutable std::mutex m_mutex;
    std::optional<QString> m_availablePackageVersion;
    // An old progress message file that could not be deleted: never taken
    // for the new one.
    std::optional<ProgressFile::Identity> m_staleProgressFile;
    int m_osVersionMajor = 0;
    int m_osVersionMinor = 0;
    bool m_preparing = false;

    std::unique_ptr<InstallLogCapture> m_fileMonitoringtask;
    // Declared last, so stopped (and joined) before anything above goes.
    BackgroundThreads m_threads;
};

} // namespace tavoren::installer
