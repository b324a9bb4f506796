// The installer window driving the installer core against the real helper
// tool and package installer, each case in a root of its own: a whole
// installation with its result and log window, and one over an installed
// version. The screens' own behaviour is tested on fakes, as any user, in
// tst_installerscreens.
#include "installer/app/KYAppDelegate.h"
#include "installer/app/KYLogWindow.h"
#include "installer/app/KYProgressScreen.h"
#include "installer/app/KYPublicPrivateScreen.h"
#include "installer/app/KYResultScreen.h"
#include "installer/app/KYSourceView.h"
#include "installer/app/KYViewController.h"
#include "installer/app/KYWelcomeScreen.h"
#include "installer/core/PlatformEnvironment.h"
#include "support/HelperToolProcess.h"
#include "support/InstallationMedium.h"
#include "support/MemorySystemLog.h"
#include "support/PlistWriter.h"
#include "support/TestRoot.h"
#include "ui_KYLogWindow.h"
#include "ui_KYProgressScreen.h"
#include "ui_KYPublicPrivateScreen.h"
#include "ui_KYResultScreen.h"
#include "ui_KYViewController.h"
#include "ui_KYWelcomeScreen.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QTest>

#include <memory>
#include <unistd.h>

using namespace tavoren::installer;
using namespace tavoren::testsupport;

namespace {
const QString resources = QStringLiteral(TAVOREN_MEDIUM_DIR "/TavorenInstaller.app/Contents/Resources");

// One window on one medium below one root.
struct Window
{
    explicit Window(InstallationMedium::Package package = InstallationMedium::Package::Built, bool start = true)
        : medium(root)
    {
        medium.layOut(package);
        InstallationMedium::realPackageInstaller(root);
        KYInstaller::Environment environment = PlatformEnvironment::make(
            KYInstaller::bundlePathOf(QFileInfo(medium.installer()).path()), systemLog);
        environment.timing.pollInterval = std::chrono::milliseconds(5);
        environment.timing.missingProgressFileWait = std::chrono::milliseconds(0);
        environment.timing.uninstallCompletePause = std::chrono::milliseconds(0);
        controller = std::make_unique<KYViewController>(std::move(environment), resources);
        delegate = std::make_unique<KYAppDelegate>(controller->installer().state());
        controller->setAppDelegate(delegate.get());
        if (start) {
            controller->awakeFromNib({QStringLiteral("TavorenInstaller")});
            controller->show();
        }
    }
    ~Window()
    {
        controller.reset();
        delegate.reset();
    }

    Ui::KYViewController &ui() { return controller->ui(); }
    Ui::KYWelcomeScreen &welcome() { return controller->welcomeScreen()->ui(); }
    Ui::KYProgressScreen &progress() { return controller->progressScreen()->ui(); }
    Ui::KYResultScreen &result() { return controller->resultScreen()->ui(); }
    QString text(const char *key) { return controller->strings().lookup(QLatin1String(key)); }
    bool detected() { return welcome().checkBoxButton->isEnabled(); }
    bool finished() { return controller->resultScreen()->isVisible(); }
    // What the platform's drag and drop delivers when the icon is let go
    // over the destination.
    void dropOnDestination()
    {
        QMimeData data;
        data.setData(QString::fromLatin1(KYSourceView::kPrivateDragObject), QByteArray());
        const QPoint centre = welcome().destinationIconView->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(welcome().destinationIconView, &enter);
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(welcome().destinationIconView, &drop);
    }

    TestRoot root;
    HelperToolProcess helper;
    InstallationMedium medium;
    MemorySystemLog systemLog;
    std::unique_ptr<KYViewController> controller;
    std::unique_ptr<KYAppDelegate> delegate;
};
} // namespace

class TestInstallerWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        if (::geteuid() != 0)
            QSKIP("the helper tool and the package installer run as root");
    }

    // Terms, a drop on the destination, private, Install, the progress and
    // the result, then the log window with its filter and its save.
    void wholeInstallation()
    {
        Window w;
        QTRY_VERIFY_WITH_TIMEOUT(w.detected(), 10000);
        QCOMPARE(w.welcome().packageNameLabel->text(), w.text("displayName") + QStringLiteral("\n" TAVOREN_VERSION));
        QVERIFY(!w.welcome().warningRow->isVisible());
        QVERIFY(!w.ui().multipleActionsButton->isEnabled());
        QTest::mouseClick(w.welcome().checkBoxButton, Qt::LeftButton);
        QVERIFY(w.ui().multipleActionsButton->isEnabled());

        w.dropOnDestination();
        QVERIFY(w.controller->publicPrivateScreen()->isVisible());
        QCOMPARE(w.ui().multipleActionsButton->text(), w.text("Install"));
        QVERIFY(w.controller->publicPrivateScreen()->ui().privateCheckBoxButton->isChecked());
        QVERIFY(w.ui().backButton->isVisible());

        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.controller->progressScreen()->isVisible(), 20000);
        QVERIFY(!w.controller->isWindowCloseEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(w.finished(), 60000);
        QCOMPARE(w.result().installationResultLabel->text(), w.text("InstallSuccessful"));
        QCOMPARE(w.progress().installProgressIndicator->value(), 100);
        QVERIFY(w.ui().closeButton->isVisible() && w.ui().closeButton->isEnabled());
        QVERIFY(w.controller->isWindowCloseEnabled());
        QCOMPARE(InstallationMedium::isPrivateInstall(w.root), 1);

        // The log window, once the result is there.
        KYLogWindow *logWindow = w.controller->logWindow();
        QTRY_VERIFY(w.ui().installerLog->isVisible() && w.ui().installerLog->isEnabled());
        w.ui().installerLog->trigger();
        QVERIFY(logWindow->isVisible());
        const QString shown = logWindow->ui().logTextView->toPlainText();
        QVERIFY(shown.startsWith(QLatin1String("Wrapper Application Logs:\n")));
        const QString installerPart = shown.section(QLatin1String("\n\n\nInstaller Logs:\n"), 1);
        QVERIFY(installerPart.contains(QLatin1String("installer: Package name is Corvane Tavoren Driver")));
        auto *search = logWindow->findChild<QLineEdit *>(QStringLiteral("searchField"));
        QVERIFY(search);
        search->setText(QStringLiteral("Package name"));
        const QString filtered = logWindow->ui().logTextView->toPlainText();
        QVERIFY(filtered.startsWith(QLatin1Char('\n')));
        QCOMPARE(filtered.count(QLatin1Char('\n')), 1);
        QVERIFY(filtered.endsWith(QLatin1String("installer: Package name is Corvane Tavoren Driver")));
        // One character shows everything again.
        search->setText(QStringLiteral("P"));
        QCOMPARE(logWindow->ui().logTextView->toPlainText(), logWindow->logFileData());

        // Saving writes what the window showed before filtering, whole.
        logWindow->setSavePanel([&w](QWidget *, const QString &, const QString &) {
            return w.root.system(QStringLiteral("/saved.log"));
        });
        logWindow->ui().saveButtonItem->trigger();
        QCOMPARE(w.root.readText(QStringLiteral("/saved.log")), logWindow->logFileData());
        QVERIFY(logWindow->lastSaveError().isEmpty());
        // A place it cannot be written is reported, not passed over.
        logWindow->setSavePanel([&w](QWidget *, const QString &, const QString &) {
            return w.root.system(QStringLiteral("/no/such/folder/saved.log"));
        });
        logWindow->ui().saveButtonItem->trigger();
        QVERIFY(!logWindow->lastSaveError().isEmpty());
        QVERIFY(logWindow->lastSaveError().contains(QLatin1String("/no/such/folder/saved.log")));
    }

    // An installed version: the warning on the first screen, then its
    // removal with its own progress before the installation.
    void installationOverAnInstalledVersion()
    {
        Window w(InstallationMedium::Package::Built, false);
        w.root.writeFile(QStringLiteral("/var/db/receipts/com.Corvane.TavorenInstaller.plist"),
                         PlistWriter::xml({{QStringLiteral("PackageVersion"), QStringLiteral("0.9")}}));
        HelperToolProcess::placeScript(QStringLiteral("/Library/Printers/CorvaneTavoren/Uninstall.sh"),
                                       "#!/bin/sh\nsleep 0.3\nrm -f \"$TAVOREN_ROOT/var/db/receipts/"
                                       "com.Corvane.TavorenInstaller.plist\"\n");
        w.controller->awakeFromNib({QStringLiteral("TavorenInstaller")});
        w.controller->show();

        QTRY_VERIFY_WITH_TIMEOUT(w.detected(), 10000);
        QVERIFY(w.welcome().warningRow->isVisible());
        QVERIFY(w.welcome().warningField->text().contains(QLatin1String("0.9")));
        QTest::mouseClick(w.welcome().checkBoxButton, Qt::LeftButton);
        w.dropOnDestination();
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.progress().installProgressViewBoldLabel->text(), w.text("Uninstalling"), 20000);
        // The removal's bar rises while the script runs.
        QTRY_VERIFY_WITH_TIMEOUT(w.progress().installProgressIndicator->value() > 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(w.finished(), 60000);
        QCOMPARE(w.result().installationResultLabel->text(), w.text("InstallSuccessful"));
        QVERIFY(QFileInfo::exists(w.root.system(QStringLiteral("/var/db/receipts/com.Corvane.TavorenInstaller.plist"))));
    }
};

QTEST_MAIN(TestInstallerWindow)
#include "tst_installerwindow.moc"
