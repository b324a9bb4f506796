// The installer window driving the installer core against the real helper
// tool and package installer, each case in a root of its own: the screens,
// the main action button, the drag onto the destination, the sheets, the
// result and the log window.
#include "installer/app/KYAppDelegate.h"
#include "installer/app/KYDestinationView.h"
#include "installer/app/KYSourceView.h"
#include "installer/app/KYViewController.h"
#include "installer/core/KYNotificationCenter.h"
#include "support/HelperToolProcess.h"
#include "support/InstallationMedium.h"
#include "support/PlistWriter.h"
#include "support/TestRoot.h"
#include "ui_KYViewController.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QSignalSpy>
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
        KYInstaller::Environment environment =
            KYInstaller::platformEnvironment(KYInstaller::bundlePathOf(QFileInfo(medium.installer()).path()));
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
    QString text(const char *key) { return controller->strings().lookup(QLatin1String(key)); }
    bool detected() { return ui().checkBoxButton->isEnabled(); }
    bool finished() { return ui().installationResultView->isVisible(); }
    // What the platform's drag and drop delivers when the icon is let go
    // over the destination.
    void dropOnDestination()
    {
        QMimeData data;
        data.setData(QString::fromLatin1(KYSourceView::kPrivateDragObject), QByteArray());
        const QPoint centre = ui().destinationIconView->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(ui().destinationIconView, &enter);
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(ui().destinationIconView, &drop);
    }

    TestRoot root;
    HelperToolProcess helper;
    InstallationMedium medium;
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
        QCOMPARE(w.ui().packageNameLabel->text(), w.text("displayName") + QStringLiteral("\n" TAVOREN_VERSION));
        QVERIFY(!w.ui().warningRow->isVisible());
        QVERIFY(!w.ui().multipleActionsButton->isEnabled());
        QTest::mouseClick(w.ui().checkBoxButton, Qt::LeftButton);
        QVERIFY(w.ui().multipleActionsButton->isEnabled());

        w.dropOnDestination();
        QVERIFY(w.ui().publicOrPrivateView->isVisible());
        QCOMPARE(w.ui().multipleActionsButton->text(), w.text("Install"));
        QVERIFY(w.ui().privateCheckBoxButton->isChecked());
        QVERIFY(w.ui().backButton->isVisible());

        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.ui().installationProgressView->isVisible(), 20000);
        QVERIFY(!w.controller->isWindowCloseEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(w.finished(), 60000);
        QCOMPARE(w.ui().installationResultLabel->text(), w.text("InstallSuccessful"));
        QCOMPARE(w.ui().installProgressIndicator->value(), 100);
        QVERIFY(w.ui().closeButton->isVisible() && w.ui().closeButton->isEnabled());
        QVERIFY(w.controller->isWindowCloseEnabled());
        QCOMPARE(InstallationMedium::isPrivateInstall(w.root), 1);

        // The log window, once the result is there.
        QTRY_VERIFY(w.ui().installerLog->isVisible() && w.ui().installerLog->isEnabled());
        w.ui().installerLog->trigger();
        QVERIFY(w.controller->logWindow()->isVisible());
        const QString shown = w.ui().logTextView->toPlainText();
        QVERIFY(shown.startsWith(QLatin1String("Wrapper Application Logs:\n")));
        const QString installerPart = shown.section(QLatin1String("\n\n\nInstaller Logs:\n"), 1);
        QVERIFY(installerPart.contains(QLatin1String("installer: Package name is Corvane Tavoren Driver")));
        auto *search = w.controller->logWindow()->findChild<QLineEdit *>(QStringLiteral("searchField"));
        QVERIFY(search);
        search->setText(QStringLiteral("Package name"));
        const QString filtered = w.ui().logTextView->toPlainText();
        QVERIFY(filtered.startsWith(QLatin1Char('\n')));
        QCOMPARE(filtered.count(QLatin1Char('\n')), 1);
        QVERIFY(filtered.endsWith(QLatin1String("installer: Package name is Corvane Tavoren Driver")));
        // One character shows everything again.
        search->setText(QStringLiteral("P"));
        QCOMPARE(w.ui().logTextView->toPlainText(), w.controller->logFileData());

        // Saving writes what the window showed before filtering, whole.
        w.controller->setSavePanel([&w](QWidget *, const QString &, const QString &) {
            return w.root.system(QStringLiteral("/saved.log"));
        });
        w.ui().saveButtonItem->trigger();
        QCOMPARE(w.root.readText(QStringLiteral("/saved.log")), w.controller->logFileData());
        QVERIFY(w.controller->lastSaveError().isEmpty());
        // A place it cannot be written is reported, not passed over.
        w.controller->setSavePanel([&w](QWidget *, const QString &, const QString &) {
            return w.root.system(QStringLiteral("/no/such/folder/saved.log"));
        });
        w.ui().saveButtonItem->trigger();
        QVERIFY(!w.controller->lastSaveError().isEmpty());
        QVERIFY(w.controller->lastSaveError().contains(QLatin1String("/no/such/folder/saved.log")));
    }

    // Next only while the terms are accepted; the licence screen's Back is
    // always enabled, and going back with the box off disables Next again.
    void nextFollowsTheTerms()
    {
        Window w;
        QTRY_VERIFY_WITH_TIMEOUT(w.detected(), 10000);
        QCOMPARE(w.ui().multipleActionsButton->text(), w.text("Next"));
        QVERIFY(!w.ui().multipleActionsButton->isEnabled());
        QTest::mouseClick(w.ui().checkBoxButton, Qt::LeftButton);
        QVERIFY(w.ui().multipleActionsButton->isEnabled());
        QTest::mouseClick(w.ui().checkBoxButton, Qt::LeftButton);
        QVERIFY(!w.ui().multipleActionsButton->isEnabled());

        QTest::mouseClick(w.ui().termsOfServiceButton, Qt::LeftButton);
        QVERIFY(w.ui().licenseView->isVisible());
        QCOMPARE(w.ui().multipleActionsButton->text(), w.text("Back"));
        QVERIFY(w.ui().multipleActionsButton->isEnabled());
        QVERIFY(w.ui().licenseTextView->toPlainText().size() > 200);
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QVERIFY(w.ui().installationView->isVisible());
        QVERIFY(!w.ui().multipleActionsButton->isEnabled());

        // Next, then Back on the public/private screen.
        QTest::mouseClick(w.ui().checkBoxButton, Qt::LeftButton);
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QVERIFY(w.ui().publicOrPrivateView->isVisible());
        QTest::mouseClick(w.ui().backButton, Qt::LeftButton);
        QVERIFY(w.ui().installationView->isVisible());
        QCOMPARE(w.ui().multipleActionsButton->text(), w.text("Next"));
        QVERIFY(w.ui().multipleActionsButton->isEnabled());
    }

    // A click on the product icon before the terms asks for them: the frame
    // turns red, but only once detection has enabled the box.
    void clickBeforeTheTerms()
    {
        Window w(InstallationMedium::Package::Built, false);
        QSignalSpy notified(&KYNotificationCenter::defaultCenter(), &KYNotificationCenter::posted);
        w.controller->show();
        QTest::mouseClick(w.ui().sourceIconView, Qt::LeftButton);
        QCOMPARE(notified.count(), 0);

        w.controller->awakeFromNib({QStringLiteral("TavorenInstaller")});
        QTRY_VERIFY_WITH_TIMEOUT(w.detected(), 10000);
        const QString before = w.ui().termsAndConditionsViewBox->styleSheet();
        QVERIFY(!before.contains(QLatin1String("#ff0000")));
        QTest::mouseClick(w.ui().sourceIconView, Qt::LeftButton);
        QCOMPARE(notified.count(), 1);
        QCOMPARE(notified.first().first().toString(), QString(KYNotificationCenter::TermsNotAcceptedNotification));
        QVERIFY(w.ui().termsAndConditionsViewBox->styleSheet().contains(QLatin1String("#ff0000")));
        // Accepting clears it.
        QTest::mouseClick(w.ui().checkBoxButton, Qt::LeftButton);
        QVERIFY(!w.ui().termsAndConditionsViewBox->styleSheet().contains(QLatin1String("#ff0000")));
    }

    // The destination takes the product icon's drag only, and frames itself
    // while it hovers.
    void destinationTakesOnlyTheIcon()
    {
        Window w;
        QTRY_VERIFY_WITH_TIMEOUT(w.detected(), 10000);
        KYDestinationView *destination = w.ui().destinationIconView;
        QMimeData other;
        other.setText(QStringLiteral("a file"));
        QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(destination, &refused);
        QVERIFY(!refused.isAccepted());
        QVERIFY(!destination->highlight());

        QMimeData icon;
        icon.setData(QString::fromLatin1(KYSourceView::kPrivateDragObject), QByteArray());
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &icon, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(destination, &enter);
        QVERIFY(enter.isAccepted());
        QVERIFY(destination->highlight());
        QDragLeaveEvent leave;
        QApplication::sendEvent(destination, &leave);
        QVERIFY(!destination->highlight());
        QVERIFY(w.ui().installationView->isVisible());
    }

    // Quitting, closing the window or Ctrl+Q while the installation runs is
    // refused with the quit sheet; once it has ended, the window may close.
    void busyWindowStaysOpen()
    {
        Window w(InstallationMedium::Package::Built);
        QVERIFY(InstallationMedium::standInPackageInstaller(
            w.root, "#!/bin/sh\necho 'installer:PHASE:Writing files\xE2\x80\xA6'\n"
                    "while [ ! -e \"$TAVOREN_ROOT/go\" ]; do sleep 0.01; done\necho 'installer: The install was successful.'\n"));
        QTRY_VERIFY_WITH_TIMEOUT(w.detected(), 10000);
        QTest::mouseClick(w.ui().checkBoxButton, Qt::LeftButton);
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.controller->installer().state().installationInProgress, 20000);

        QVERIFY(!w.delegate->isSafeToCloseWindow());
        QVERIFY(!w.controller->close());
        QVERIFY(w.controller->isVisible());
        QVERIFY(w.controller->quitAppWarningSheet()->isVisible());
        QTest::mouseClick(w.ui().quit_App_WarningSheet_OK, Qt::LeftButton);
        QVERIFY(!w.controller->quitAppWarningSheet()->isVisible());
        w.controller->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.controller.get()));
        QTest::keyClick(w.controller.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(w.controller->quitAppWarningSheet()->isVisible());
        QTest::mouseClick(w.ui().quit_App_WarningSheet_OK, Qt::LeftButton);

        w.root.writeFile(QStringLiteral("/go"), "go");
        QTRY_VERIFY_WITH_TIMEOUT(w.finished(), 30000);
        QVERIFY(w.delegate->isSafeToCloseWindow());
        QVERIFY(w.controller->close());
    }

    void missingPackage()
    {
        Window w(InstallationMedium::Package::Missing);
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().packageNameLabel->text(), w.text("MissingPackage"), 10000);
        QVERIFY(w.ui().packageNameLabel->styleSheet().contains(QLatin1String("color")));
        QVERIFY(!w.ui().initializationRow->isVisible());
        QVERIFY(!w.ui().checkBoxButton->isEnabled());
        QVERIFY(!w.controller->installer().state().isInitializationComplete);
        QTest::mouseClick(w.ui().sourceIconView, Qt::LeftButton);
        QVERIFY(w.ui().installationView->isVisible());
    }

    void failedInstallation()
    {
        Window w(InstallationMedium::Package::Built);
        QVERIFY(InstallationMedium::standInPackageInstaller(
            w.root, "#!/bin/sh\necho 'installer: The install failed. (The disk is full.)'\nexit 1\n"));
        QTRY_VERIFY_WITH_TIMEOUT(w.detected(), 10000);
        QTest::mouseClick(w.ui().checkBoxButton, Qt::LeftButton);
        w.dropOnDestination();
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.finished(), 30000);
        QCOMPARE(w.ui().installationResultLabel->text(), w.text("InstallFailed"));
        QCOMPARE(w.ui().installationSubResultLabel->text(), w.text("InstallFailedSubResult"));
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
        QVERIFY(w.ui().warningRow->isVisible());
        QVERIFY(w.ui().warningField->text().contains(QLatin1String("0.9")));
        QTest::mouseClick(w.ui().checkBoxButton, Qt::LeftButton);
        w.dropOnDestination();
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().installProgressViewBoldLabel->text(), w.text("Uninstalling"), 20000);
        // The removal's bar rises while the script runs.
        QTRY_VERIFY_WITH_TIMEOUT(w.ui().installProgressIndicator->value() > 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(w.finished(), 60000);
        QCOMPARE(w.ui().installationResultLabel->text(), w.text("InstallSuccessful"));
        QVERIFY(QFileInfo::exists(w.root.system(QStringLiteral("/var/db/receipts/com.Corvane.TavorenInstaller.plist"))));
    }

    // The free space, in the user's number form.
    void diskDetails_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("decimal point") << QLocale(QLocale::English, QLocale::UnitedStates)
                                       << QStringLiteral("Macintosh HD\n(Available: 123.46 GB)");
        QTest::newRow("decimal comma") << QLocale(QLocale::French, QLocale::France)
                                       << QStringLiteral("Macintosh HD\n(Available\u00a0: 123,46 GB)");
    }
    void diskDetails()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QCOMPARE(KYViewController::diskDetailsText(QStringLiteral("Macintosh HD"), 123456789012, locale,
                                                   QStringLiteral("Available"), QStringLiteral("GB")),
                 text);
    }

    // Closing the window while detection still runs.
    void closedDuringDetection()
    {
        Window w(InstallationMedium::Package::Built, false);
        w.controller->awakeFromNib({QStringLiteral("TavorenInstaller")});
        w.controller.reset();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(!w.controller);
    }
};

QTEST_MAIN(TestInstallerWindow)
#include "tst_installerwindow.moc"
