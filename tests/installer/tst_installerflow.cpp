// The installer core as the window drives it, in-process, against the real
// helper tool: detection, the removal of an installed version with its
// progress, the installation with localised phases, the public choice, and
// everything in the order the front-end sees it.
#include "installer/core/KYInstaller.h"
#include "installer/core/PlatformEnvironment.h"
#include "support/HelperToolProcess.h"
#include "support/InstallationMedium.h"
#include "support/MemorySystemLog.h"
#include "support/RecordingFrontEnd.h"
#include "support/PlistWriter.h"
#include "support/TestRoot.h"

#include <QFile>
#include <QLocalServer>
#include <QFileInfo>
#include <QTest>

#include <memory>
#include <unistd.h>

using namespace tavoren::installer;
using namespace tavoren::testsupport;

namespace {
const QString receipt = QStringLiteral("/var/db/receipts/com.Corvane.TavorenInstaller.plist");

QString localized(const QString &key)
{
    if (key == QLatin1String("displayName"))
        return QStringLiteral("Corvane Tavoren Driver");
    if (key == QLatin1String("Installing"))
        return QStringLiteral("Installing %@");
    if (key == QLatin1String("AppInstalledWarningMessage"))
        return QStringLiteral("%@ %@ is installed.");
    return QLatin1Char('[') + key + QLatin1Char(']');
}

KYInstaller::Environment environmentFor(const InstallationMedium &medium, MemorySystemLog &systemLog)
{
    KYInstaller::Environment environment =
        PlatformEnvironment::make(KYInstaller::bundlePathOf(QFileInfo(medium.installer()).path()), systemLog);
    environment.timing.pollInterval = std::chrono::milliseconds(2);
    environment.timing.missingProgressFileWait = std::chrono::milliseconds(0);
    environment.timing.uninstallCompletePause = std::chrono::milliseconds(0);
    environment.localized = localized;
    return environment;
}
} // namespace

class TestInstallerFlow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (::geteuid() != 0)
            QSKIP("the helper tool runs as root");
    }

    void removalThenInstallation()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(
            root, "#!/bin/sh\necho 'installer:PHASE:Writing files\xE2\x80\xA6'\necho 'installer:%50.000000'\nsleep 0.1\n"
                  "echo 'installer:PHASE:Running package scripts\xE2\x80\xA6'\necho 'installer:%90.000000'\nsleep 0.1\n"
                  "echo 'installer: The install was successful.'\n"));
        root.writeFile(receipt, PlistWriter::xml({{QStringLiteral("PackageVersion"), QStringLiteral("0.9")}}));
        // The installed version's own script: it takes a moment and takes its receipt.
        HelperToolProcess::placeScript(QStringLiteral("/Library/Printers/CorvaneTavoren/Uninstall.sh"),
                                       "#!/bin/sh\nsleep 0.3\nrm -f \"$TAVOREN_ROOT/var/db/receipts/"
                                       "com.Corvane.TavorenInstaller.plist\"\n");
        root.writeFile(QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist"),
                       PlistWriter::xml(PlistWriter::adminDefaults()));

        RecordingFrontEnd frontEnd;
        MemorySystemLog systemLog;
        KYInstaller installer(frontEnd, environmentFor(medium, systemLog));
        installer.start({QStringLiteral("TavorenInstaller")});
        QTRY_VERIFY_WITH_TIMEOUT(installer.state().isInitializationComplete, 10000);
        QCOMPARE(frontEnd.calls, (QStringList{QStringLiteral("disk"), QStringLiteral("found"),
                                              QStringLiteral("detected:Corvane Tavoren Driver\n" TAVOREN_VERSION
                                                             "|Corvane Tavoren Driver 0.9 is installed.")}));
        QCOMPARE(installer.selectedApp().installedVersion(), QStringLiteral("0.9"));

        // The window's public box.
        installer.state().isPrivateComputerAccepted = false;
        frontEnd.calls.clear();
        installer.proceedWithInstallation();
        QTRY_VERIFY_WITH_TIMEOUT(frontEnd.calls.contains(QStringLiteral("finished:ok"))
                                     || frontEnd.calls.contains(QStringLiteral("finished:failed")),
                                 20000);
        QVERIFY2(frontEnd.calls.contains(QStringLiteral("finished:ok")), qPrintable(frontEnd.calls.join(QLatin1Char('\n'))));
        const QStringList calls = frontEnd.calls;

        // The screen changes, then the removal's bar in steps of 0.5 from 0.
        QCOMPARE(calls.mid(0, 5), (QStringList{QStringLiteral("progress view"), QStringLiteral("lock"),
                                               QStringLiteral("close:off"), QStringLiteral("headline:[Uninstalling]"),
                                               QStringLiteral("0:")}));
        qsizetype at = 5;
        double expected = 0.5;
        while (calls.value(at) == QStringLiteral("%1:").arg(expected)) {
            expected += 0.5;
            ++at;
        }
        QVERIFY2(expected > 1.0 && expected <= 71.0, qPrintable(calls.value(at)));
        QCOMPARE(calls.mid(at, 5), (QStringList{QStringLiteral("100:[UninstallComplete]"),
                                                QStringLiteral("headline:Installing Corvane Tavoren Driver"),
                                                QStringLiteral("0:[PHASE_PrepareInstall]"), QStringLiteral("close:off"),
                                                QStringLiteral("5:[PHASE_PrepareInstall]")}));
        QCOMPARE(calls.value(at + 5), QStringLiteral("bar"));
        // The phases come localised; the installation ends at 100.
        const QStringList rest = calls.mid(at + 6);
        QVERIFY(!rest.filter(QStringLiteral(":[PHASE_WriteFiles]")).isEmpty());
        QVERIFY(!rest.filter(QStringLiteral(":[PHASE_RunScripts]")).isEmpty());
        QCOMPARE(rest.mid(rest.size() - 2), (QStringList{QStringLiteral("100:"), QStringLiteral("finished:ok")}));

        // The removal went through the helper and ended before the package installer began.
        const QString log = installer.log().internalLog();
        const qsizetype removed = log.indexOf(QLatin1String("Received response: Uninstall.sh ended with status 0."));
        QVERIFY(removed >= 0);
        QVERIFY(log.indexOf(QLatin1String("Installing "), removed) > removed);
        QVERIFY(log.contains(QLatin1String("Recorded a public installation")));
        QVERIFY(!installer.state().installationInProgress);
        QVERIFY(!installer.state().uninstallationInProgress);
    }

    // Closing the installer mid-installation ends every background thread
    // at once: nothing more reaches the front-end, nothing more is asked of
    // the helper (the admin file stays as it was).
    void destroyedWhileInstalling()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(
            root, "#!/bin/sh\necho 'installer:PHASE:Writing files\xE2\x80\xA6'\n"
                  "while [ ! -e \"$TAVOREN_ROOT/go\" ]; do sleep 0.01; done\n"));
        const QByteArray admin = PlistWriter::xml(PlistWriter::adminDefaults());
        const QString adminPath = root.writeFile(QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist"), admin);
        RecordingFrontEnd frontEnd;
        MemorySystemLog systemLog;
        {
            KYInstaller installer(frontEnd, environmentFor(medium, systemLog));
            installer.start({QStringLiteral("TavorenInstaller")});
            QTRY_VERIFY_WITH_TIMEOUT(installer.state().isInitializationComplete, 10000);
            installer.proceedWithInstallation();
            QTRY_VERIFY_WITH_TIMEOUT(frontEnd.calls.contains(QStringLiteral("22:[PHASE_WriteFiles]")), 20000);
        }
        // Anything still posted would run now.
        const qsizetype seen = frontEnd.calls.size();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(frontEnd.calls.size(), seen);
        QFile file(adminPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), admin);
        root.writeFile(QStringLiteral("/go"), "go");
    }

    // Something listens where the helper should, but never answers: the
    // probe gives up after its time, the helper is blessed again and takes
    // over, and the installation goes on.
    void unansweredProbe()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(root, "#!/bin/sh\necho 'installer: The install was successful.'\n"));
        auto silent = std::make_unique<QLocalServer>();
        QVERIFY(silent->listen(HelperToolProcess::socketPath()));

        RecordingFrontEnd frontEnd;
        MemorySystemLog systemLog;
        KYInstaller::Environment environment = environmentFor(medium, systemLog);
        environment.timing.helperReplyTimeout = std::chrono::seconds(1);
        KYInstaller installer(frontEnd, environment);
        installer.start({QStringLiteral("TavorenInstaller")});
        QTRY_VERIFY_WITH_TIMEOUT(installer.state().isInitializationComplete, 10000);
        installer.proceedWithInstallation();
        QTRY_VERIFY_WITH_TIMEOUT(frontEnd.calls.contains(QStringLiteral("finished:ok"))
                                     || frontEnd.calls.contains(QStringLiteral("finished:failed")),
                                 20000);
        // The silent listener goes too; its connection ends, and changes nothing.
        silent.reset();
        QVERIFY(frontEnd.calls.contains(QStringLiteral("finished:ok")));
        const QString log = installer.log().internalLog();
        const qsizetype timedOut = log.indexOf(QLatin1String("No answer from the helper tool within 1 seconds"));
        QVERIFY(timedOut >= 0);
        QVERIFY(log.indexOf(QLatin1String("Authorization successful"), timedOut) > timedOut);
        QVERIFY(!installer.state().installFailed);
    }
};

QTEST_GUILESS_MAIN(TestInstallerFlow)
#include "tst_installerflow.moc"
