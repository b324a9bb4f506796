// The installer window on the fakes of every platform piece, as any user:
// the main action button's states, the terms, the drag onto the destination,
// the sheets while busy, a missing package, a failed installation and the
// disk's free space.
#include "installer/app/KYAppDelegate.h"
#include "installer/app/KYDestinationView.h"
#include "installer/app/KYLicenseScreen.h"
#include "installer/app/KYProgressScreen.h"
#include "installer/app/KYPublicPrivateScreen.h"
#include "installer/app/KYQuitSheet.h"
#include "installer/app/KYResultScreen.h"
#include "installer/app/KYSourceView.h"
#include "installer/app/KYViewController.h"
#include "installer/app/KYWelcomeScreen.h"
#include "installer/core/KYNotificationCenter.h"
#include "support/FakePlatform.h"
#include "ui_KYLicenseScreen.h"
#include "ui_KYProgressScreen.h"
#include "ui_KYPublicPrivateScreen.h"
#include "ui_KYQuitSheet.h"
#include "ui_KYResultScreen.h"
#include "ui_KYViewController.h"
#include "ui_KYWelcomeScreen.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QLocale>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace tavoren::installer;
using namespace tavoren::testsupport;

using Action = KYViewController::MainButtonAction;
Q_DECLARE_METATYPE(Action)

namespace {
// "terms main" as the steps "terms", "main".
QStringList path(const char *steps)
{
    return QString::fromLatin1(steps).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

const QString resources = QStringLiteral(TAVOREN_INSTALLER_RESOURCES_DIR);
constexpr int patience = 20000;

// One window on the fakes, below a root of its own.
struct Window
{
    explicit Window(FakePlatform::Package package = FakePlatform::Package::Present, bool start = true)
        : platform(package)
        , controller(std::make_unique<KYViewController>(platform.environment(), resources))
        , delegate(std::make_unique<KYAppDelegate>(controller->installer().state()))
    {
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
    Ui::KYPublicPrivateScreen &choice() { return controller->publicPrivateScreen()->ui(); }
    QString text(const char *key) { return controller->strings().lookup(QLatin1String(key)); }
    bool detected() { return QTest::qWaitFor([&] { return welcome().checkBoxButton->isEnabled(); }, patience); }
    bool finished() { return QTest::qWaitFor([&] { return controller->resultScreen()->isVisible(); }, patience); }
    // The screen the box shows.
    QString screen()
    {
        const std::pair<QWidget *, const char *> screens[] = {
            {controller->welcomeScreen(), "welcome"},   {controller->licenseScreen(), "licence"},
            {controller->publicPrivateScreen(), "choice"}, {controller->progressScreen(), "progress"},
            {controller->resultScreen(), "result"},
        };
        QStringList shown;
        for (const auto &[view, name] : screens) {
            if (view->isVisible())
                shown.append(QLatin1String(name));
        }
        return shown.join(QLatin1Char('+'));
    }
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

    FakePlatform platform;
    std::unique_ptr<KYViewController> controller;
    std::unique_ptr<KYAppDelegate> delegate;
};
} // namespace

class TestInstallerScreens : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // What the main action button does follows the screens the user went
    // through, whatever its title reads: each row a path of steps, then the
    // screen shown and the button's action, title and state.
    void mainButton_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<Action>("action");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("at the start") << path("") << "welcome" << Action::Next << false;
        QTest::newRow("terms accepted") << path("terms") << "welcome" << Action::Next << true;
        QTest::newRow("terms accepted and taken back") << path("terms terms") << "welcome" << Action::Next << false;
        QTest::newRow("Next") << path("terms main") << "choice" << Action::Install << true;
        QTest::newRow("a drop") << path("terms drop") << "choice" << Action::Install << true;
        QTest::newRow("the licence") << path("licence") << "licence" << Action::Back << true;
        QTest::newRow("back from the licence, terms not accepted")
            << path("licence main") << "welcome" << Action::Next << false;
        QTest::newRow("back from the licence, terms accepted")
            << path("terms licence main") << "welcome" << Action::Next << true;
        QTest::newRow("Back on the choice") << path("terms main back") << "welcome" << Action::Next << true;
        QTest::newRow("the licence after the choice")
            << path("terms main back licence") << "licence" << Action::Back << true;
        // A title that reads as another action's changes nothing.
        QTest::newRow("Next titled Install") << path("terms title:Install main") << "choice"
                                             << Action::Install << true;
        QTest::newRow("Back titled Next") << path("licence title:Next main") << "welcome" << Action::Next
                                          << false;
        QTest::newRow("Install titled Back") << path("terms main title:Back main") << "progress"
                                             << Action::Install << false;
    }
    void mainButton()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, screen);
        QFETCH(Action, action);
        QFETCH(bool, enabled);
        Window w;
        // The installation, once started, waits for the test.
        w.platform.channel->push(FakeHelperChannel::Behaviour::Completes);
        w.platform.channel->push(FakeHelperChannel::Behaviour::AnswersLate);
        QVERIFY(w.detected());
        for (const QString &step : steps) {
            if (step == QLatin1String("terms"))
                QTest::mouseClick(w.welcome().checkBoxButton, Qt::LeftButton);
            else if (step == QLatin1String("licence"))
                QTest::mouseClick(w.welcome().termsOfServiceButton, Qt::LeftButton);
            else if (step == QLatin1String("main"))
                QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
            else if (step == QLatin1String("back"))
                QTest::mouseClick(w.ui().backButton, Qt::LeftButton);
            else if (step == QLatin1String("drop"))
                w.dropOnDestination();
            else if (step.startsWith(QLatin1String("title:")))
                w.ui().multipleActionsButton->setText(w.text(qPrintable(step.mid(6))));
        }
        if (screen == QLatin1String("progress"))
            QVERIFY(QTest::qWaitFor([&] { return w.controller->progressScreen()->isVisible(); }, patience));
        QCOMPARE(w.screen(), screen);
        QCOMPARE(w.controller->mainButtonAction(), action);
        QCOMPARE(w.ui().multipleActionsButton->isEnabled(), enabled);
        if (screen != QLatin1String("progress")) {
            const char *title = action == Action::Next ? "Next" : action == Action::Back ? "Back" : "Install";
            QCOMPARE(w.ui().multipleActionsButton->text(), w.text(title));
        }
        w.platform.channel->release();
    }

    // Next only while the terms are accepted; the licence screen's Back is
    // always enabled, and going back with the box off disables Next again.
    void nextFollowsTheTerms()
    {
        Window w;
        QVERIFY(w.detected());
        QCOMPARE(w.ui().multipleActionsButton->text(), w.text("Next"));
        QVERIFY(!w.ui().multipleActionsButton->isEnabled());
        QTest::mouseClick(w.welcome().checkBoxButton, Qt::LeftButton);
        QVERIFY(w.ui().multipleActionsButton->isEnabled());
        QTest::mouseClick(w.welcome().checkBoxButton, Qt::LeftButton);
        QVERIFY(!w.ui().multipleActionsButton->isEnabled());

        QTest::mouseClick(w.welcome().termsOfServiceButton, Qt::LeftButton);
        QVERIFY(w.controller->licenseScreen()->isVisible());
        QCOMPARE(w.ui().multipleActionsButton->text(), w.text("Back"));
        QVERIFY(w.ui().multipleActionsButton->isEnabled());
        QVERIFY(w.controller->licenseScreen()->ui().licenseTextView->toPlainText().size() > 200);
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QVERIFY(w.controller->welcomeScreen()->isVisible());
        QVERIFY(!w.ui().multipleActionsButton->isEnabled());

        // Next, then Back on the public/private screen.
        QTest::mouseClick(w.welcome().checkBoxButton, Qt::LeftButton);
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QVERIFY(w.controller->publicPrivateScreen()->isVisible());
        QTest::mouseClick(w.ui().backButton, Qt::LeftButton);
        QVERIFY(w.controller->welcomeScreen()->isVisible());
        QCOMPARE(w.ui().multipleActionsButton->text(), w.text("Next"));
        QVERIFY(w.ui().multipleActionsButton->isEnabled());
    }

    // A click on the product icon before the terms asks for them: the frame
    // turns red, but only once detection has enabled the box.
    void clickBeforeTheTerms()
    {
        Window w(FakePlatform::Package::Present, false);
        QSignalSpy notified(&w.controller->notificationCenter(), &KYNotificationCenter::posted);
        w.controller->show();
        QTest::mouseClick(w.welcome().sourceIconView, Qt::LeftButton);
        QCOMPARE(notified.count(), 0);

        w.controller->awakeFromNib({QStringLiteral("TavorenInstaller")});
        QVERIFY(w.detected());
        const QString before = w.welcome().termsAndConditionsViewBox->styleSheet();
        QVERIFY(!before.contains(QLatin1String("#ff0000")));
        QTest::mouseClick(w.welcome().sourceIconView, Qt::LeftButton);
        QCOMPARE(notified.count(), 1);
        QCOMPARE(notified.first().first().toString(), QString(KYNotificationCenter::TermsNotAcceptedNotification));
        QVERIFY(w.welcome().termsAndConditionsViewBox->styleSheet().contains(QLatin1String("#ff0000")));
        // Accepting clears it.
        QTest::mouseClick(w.welcome().checkBoxButton, Qt::LeftButton);
        QVERIFY(!w.welcome().termsAndConditionsViewBox->styleSheet().contains(QLatin1String("#ff0000")));
    }

    // The destination takes the product icon's drag only, and frames itself
    // while it hovers.
    void destinationTakesOnlyTheIcon()
    {
        Window w;
        QVERIFY(w.detected());
        KYDestinationView *destination = w.welcome().destinationIconView;
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
        QVERIFY(w.controller->welcomeScreen()->isVisible());
    }

    // Quitting, closing the window or Ctrl+Q while the installation runs is
    // refused with the quit sheet; once it has ended, the window may close.
    void busyWindowStaysOpen()
    {
        Window w;
        w.platform.channel->push(FakeHelperChannel::Behaviour::Completes);
        w.platform.channel->push(FakeHelperChannel::Behaviour::AnswersLate);
        QVERIFY(w.detected());
        QTest::mouseClick(w.welcome().checkBoxButton, Qt::LeftButton);
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return w.platform.channel->heldReplies() == 1; }, patience));
        QVERIFY(w.controller->installer().state().installationInProgress);

        QVERIFY(!w.delegate->isSafeToCloseWindow());
        QVERIFY(!w.controller->close());
        QVERIFY(w.controller->isVisible());
        QVERIFY(w.controller->quitAppWarningSheet()->isVisible());
        QTest::mouseClick(w.controller->quitAppWarningSheet()->ui().quit_App_WarningSheet_OK, Qt::LeftButton);
        QVERIFY(!w.controller->quitAppWarningSheet()->isVisible());
        w.controller->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.controller.get()));
        QTest::keyClick(w.controller.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(w.controller->quitAppWarningSheet()->isVisible());
        QTest::mouseClick(w.controller->quitAppWarningSheet()->ui().quit_App_WarningSheet_OK, Qt::LeftButton);

        w.platform.channel->release();
        QVERIFY(w.finished());
        QVERIFY(w.delegate->isSafeToCloseWindow());
        QVERIFY(w.controller->close());
    }

    void missingPackage()
    {
        Window w(FakePlatform::Package::Missing);
        QVERIFY(QTest::qWaitFor([&] { return w.welcome().packageNameLabel->text() == w.text("MissingPackage"); }, patience));
        QVERIFY(w.welcome().packageNameLabel->styleSheet().contains(QLatin1String("color")));
        QVERIFY(!w.welcome().initializationRow->isVisible());
        QVERIFY(!w.welcome().checkBoxButton->isEnabled());
        QVERIFY(!w.controller->installer().state().isInitializationComplete);
        QTest::mouseClick(w.welcome().sourceIconView, Qt::LeftButton);
        QVERIFY(w.controller->welcomeScreen()->isVisible());
    }

    void failedInstallation()
    {
        Window w;
        w.platform.channel->setProgressLines({"installer: The install failed. (The disk is full.)"});
        w.platform.channel->setInstallationExitStatus(1);
        QVERIFY(w.detected());
        QTest::mouseClick(w.welcome().checkBoxButton, Qt::LeftButton);
        w.dropOnDestination();
        QTest::mouseClick(w.ui().multipleActionsButton, Qt::LeftButton);
        QVERIFY(w.finished());
        QCOMPARE(w.controller->resultScreen()->ui().installationResultLabel->text(), w.text("InstallFailed"));
        QCOMPARE(w.controller->resultScreen()->ui().installationSubResultLabel->text(), w.text("InstallFailedSubResult"));
        QCOMPARE(w.controller->progressScreen()->ui().installProgressIndicator->value(), 100);
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
        Window w(FakePlatform::Package::Present, false);
        w.controller->awakeFromNib({QStringLiteral("TavorenInstaller")});
        w.controller.reset();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(!w.controller);
    }
};

QTEST_MAIN(TestInstallerScreens)
#include "tst_installerscreens.moc"
