// The installer window on the fakes of every platform piece, as any user:
// the main action button's states, the terms, the drag onto the destination,
// the sheets while busy, a missing package, a failed installation and the
// disk's free space; and the window for whoever uses the keyboard alone or a
// screen reader: names in the accessibility tree, focus, keys, one choice of
// public or private, visible focus marks.
#include "installer/app/KYAppDelegate.h"
#include "installer/app/KYAppsBusySheet.h"
#include "installer/app/KYDestinationView.h"
#include "installer/app/KYImageHelpView.h"
#include "installer/app/KYLicenseScreen.h"
#include "installer/app/KYLogWindow.h"
#include "installer/app/KYProgressScreen.h"
#include "installer/app/KYPublicPrivateScreen.h"
#include "installer/app/KYQuitSheet.h"
#include "installer/app/KYResultScreen.h"
#include "installer/app/KYSourceView.h"
#include "installer/app/KYViewController.h"
#include "installer/app/KYWarningSheet.h"
#include "installer/app/KYWelcomeScreen.h"
#include "installer/core/KYNotificationCenter.h"
#include "support/FakePlatform.h"
#include "support/ScreenReading.h"
#include "ui_KYAppsBusySheet.h"
#include "ui_KYLicenseScreen.h"
#include "ui_KYLogWindow.h"
#include "ui_KYProgressScreen.h"
#include "ui_KYPublicPrivateScreen.h"
#include "ui_KYQuitSheet.h"
#include "ui_KYResultScreen.h"
#include "ui_KYViewController.h"
#include "ui_KYWarningSheet.h"
#include "ui_KYWelcomeScreen.h"

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
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

    // The window in front, as a keyboard user has it.
    bool active()
    {
        controller->activateWindow();
        return QTest::qWaitForWindowActive(controller.get());
    }
    // What the flow recorded in the administrator file: "YES", "NO", or
    // empty when nothing was.
    QString recordedPrivate()
    {
        for (const QString &command : platform.channel->commands()) {
            if (command.contains(QLatin1String("IsPrivateInstall")))
                return command.contains(QLatin1String(" YES\"")) ? QStringLiteral("YES") : QStringLiteral("NO");
        }
        return {};
    }

    FakePlatform platform;
    std::unique_ptr<KYViewController> controller;
    std::unique_ptr<KYAppDelegate> delegate;
};

// A key as a keyboard sends it: to whatever has the focus.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY2(focus, "no control has the focus");
    QTest::keyClick(focus, key, modifiers);
}

Qt::Key keyNamed(const QString &name)
{
    static const QMap<QString, Qt::Key> keys = {
        {QStringLiteral("space"), Qt::Key_Space}, {QStringLiteral("return"), Qt::Key_Return},
        {QStringLiteral("tab"), Qt::Key_Tab},     {QStringLiteral("backtab"), Qt::Key_Backtab},
        {QStringLiteral("up"), Qt::Key_Up},       {QStringLiteral("down"), Qt::Key_Down},
        {QStringLiteral("left"), Qt::Key_Left},   {QStringLiteral("right"), Qt::Key_Right},
        {QStringLiteral("escape"), Qt::Key_Escape}, {QStringLiteral("f1"), Qt::Key_F1},
    };
    return keys.value(name, Qt::Key_unknown);
}

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

    // Every control and meaningful picture of every screen, sheet and the
    // log window has a name, in both languages; sheets and the log window
    // are dialogs to a screen reader.
    void everyControlIsNamed_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QLocale>("locale");
        for (const char *where : {"welcome", "licence", "choice", "progress", "result", "quit sheet", "warning sheet",
                                  "apps busy sheet", "log window"}) {
            QTest::newRow(qPrintable(QLatin1String(where) + QStringLiteral(" en")))
                << QString::fromLatin1(where) << QLocale(QLocale::English, QLocale::UnitedStates);
            QTest::newRow(qPrintable(QLatin1String(where) + QStringLiteral(" fr")))
                << QString::fromLatin1(where) << QLocale(QLocale::French, QLocale::France);
        }
    }
    void everyControlIsNamed()
    {
        QFETCH(QString, where);
        QFETCH(QLocale, locale);
        QLocale::setDefault(locale);
        Window w;
        w.platform.channel->push(FakeHelperChannel::Behaviour::Completes);
        w.platform.channel->push(FakeHelperChannel::Behaviour::AnswersLate);
        QVERIFY(w.detected());
        QWidget *window = w.controller.get();
        if (where == QLatin1String("licence")) {
            w.controller->displayLicenseView(nullptr);
        } else if (where != QLatin1String("welcome")) {
            w.welcome().checkBoxButton->click();
            w.ui().multipleActionsButton->click();
        }
        if (where == QLatin1String("progress") || where == QLatin1String("result")
            || where == QLatin1String("log window")) {
            w.ui().multipleActionsButton->click();
            QVERIFY(QTest::qWaitFor([&] { return w.platform.channel->heldReplies() == 1; }, patience));
            QVERIFY(w.controller->progressScreen()->isVisible());
            if (where != QLatin1String("progress")) {
                w.platform.channel->release();
                QVERIFY(w.finished());
            }
        }
        if (where == QLatin1String("quit sheet")) {
            w.controller->quitAppWarningSheet()->present();
            window = w.controller->quitAppWarningSheet();
        } else if (where == QLatin1String("warning sheet")) {
            w.controller->displayWarningSheet();
            window = w.controller->warningSheet();
        } else if (where == QLatin1String("apps busy sheet")) {
            w.controller->displayAppsBusyWarningSheet();
            window = w.controller->appsBusySheet();
        } else if (where == QLatin1String("log window")) {
            QVERIFY(QTest::qWaitFor([&] { return w.ui().installerLog->isEnabled(); }, patience));
            w.ui().installerLog->trigger();
            window = w.controller->logWindow();
        }
        QVERIFY(window->isVisible());

        const QList<QAccessibleInterface *> shown = ScreenReading::shownBelow(QAccessible::queryAccessibleInterface(window));
        QVERIFY(shown.size() > 3);
        QStringList unnamed;
        int named = 0;
        for (QAccessibleInterface *object : shown) {
            if (!ScreenReading::needsName(object))
                continue;
            if (object->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << (object->object() ? object->object()->objectName() : QStringLiteral("?"))
                               + QLatin1Char('/') + QString::number(object->role(), 16);
            else
                ++named;
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char(' '))));
        QVERIFY(named > 0);
        const QAccessible::Role role = QAccessible::queryAccessibleInterface(window)->role();
        QCOMPARE(role, window == w.controller.get() ? QAccessible::Window : QAccessible::Dialog);
        w.platform.channel->release();
    }

    // The hint that Space or Next does what the drag does is in the tree,
    // on the product picture and the help, both reachable by Tab.
    void dragHintIsInTheTree()
    {
        Window w;
        QVERIFY(w.detected());
        for (QWidget *view : {static_cast<QWidget *>(w.welcome().sourceIconView), static_cast<QWidget *>(w.welcome().helpIconView)}) {
            QVERIFY(view->focusPolicy() & Qt::TabFocus);
            QVERIFY(!QAccessible::queryAccessibleInterface(view)->text(QAccessible::Description).isEmpty());
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(w.welcome().helpIconView)->text(QAccessible::Description),
                 w.text("HelpMessage"));
    }

    // The public/private choice has exactly one answer after any clicks and
    // keys, and the flow records the one shown.
    void publicOrPrivateIsOneChoice_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("isPrivate");
        QTest::newRow("untouched") << path("") << true;
        QTest::newRow("private clicked again") << path("click:private") << true;
        QTest::newRow("public clicked") << path("click:public") << false;
        QTest::newRow("public clicked twice") << path("click:public click:public") << false;
        QTest::newRow("public then private") << path("click:public click:private") << true;
        QTest::newRow("public's text") << path("text:public") << false;
        QTest::newRow("Space on private") << path("focus:private space") << true;
        QTest::newRow("Space on public") << path("focus:public space") << false;
        QTest::newRow("Space on public twice") << path("focus:public space space") << false;
        QTest::newRow("Space on each") << path("focus:public space focus:private space") << true;
        QTest::newRow("arrow up") << path("up") << false;
        QTest::newRow("arrow up and down") << path("up down") << true;
        QTest::newRow("arrows past the ends") << path("up up up") << false;
        QTest::newRow("Tab to Back and back, Space") << path("tab backtab space") << true;
        QTest::newRow("public, Tab to Back and back, Space") << path("up tab backtab space") << false;
        QTest::newRow("Back and forth") << path("click:public back next") << false;
    }
    void publicOrPrivateIsOneChoice()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, isPrivate);
        Window w;
        w.platform.writeAdminFile();
        QVERIFY(w.detected());
        QVERIFY(w.active());
        w.welcome().checkBoxButton->click();
        w.ui().multipleActionsButton->click();
        QAbstractButton *publicBox = w.choice().publicCheckBoxButton;
        QAbstractButton *privateBox = w.choice().privateCheckBoxButton;
        for (const QString &step : steps) {
            QAbstractButton *box = step.endsWith(QLatin1String("public")) ? publicBox : privateBox;
            if (step.startsWith(QLatin1String("click:")))
                QTest::mouseClick(box, Qt::LeftButton);
            else if (step.startsWith(QLatin1String("text:")))
                QTest::mouseClick(box == publicBox ? w.choice().publicMessage : w.choice().privateMessage, Qt::LeftButton);
            else if (step.startsWith(QLatin1String("focus:")))
                box->setFocus(Qt::TabFocusReason);
            else if (step == QLatin1String("back"))
                w.ui().backButton->click();
            else if (step == QLatin1String("next"))
                w.ui().multipleActionsButton->click();
            else
                press(keyNamed(step));
            // One answer at every step, and the flag is the one shown.
            QVERIFY2(publicBox->isChecked() != privateBox->isChecked(), qPrintable(step));
            QCOMPARE(bool(w.controller->installer().state().isPrivateComputerAccepted), privateBox->isChecked());
        }
        QCOMPARE(privateBox->isChecked(), isPrivate);
        QVERIFY(w.controller->publicPrivateScreen()->isVisible());
        w.ui().multipleActionsButton->click();
        QVERIFY(w.finished());
        QCOMPARE(w.recordedPrivate(), isPrivate ? QStringLiteral("YES") : QStringLiteral("NO"));
    }

    // From the first screen to the result with keys alone: each screen opens
    // with the focus on its main control, never on a hidden one, and Return
    // presses the default button.
    void keyboardOnly_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<bool>("isPrivate");
        QTest::newRow("Space on the terms, Return, Return") << path("space return return") << true;
        QTest::newRow("public by arrow") << path("space return up return") << false;
        QTest::newRow("the product picture") << path("space backtab space return") << true;
        QTest::newRow("the picture before the terms, then the terms")
            << path("backtab space tab space return return") << true;
        QTest::newRow("the licence and back by Return") << path("space tab space return return return") << true;
        QTest::newRow("Back on the choice") << path("space return tab space return return") << true;
        QTest::newRow("the help and its Escape") << path("f1 escape backtab backtab space return return") << true;
    }
    void keyboardOnly()
    {
        QFETCH(QStringList, keys);
        QFETCH(bool, isPrivate);
        Window w;
        w.platform.writeAdminFile();
        w.platform.channel->push(FakeHelperChannel::Behaviour::Completes);
        w.platform.channel->push(FakeHelperChannel::Behaviour::AnswersLate);
        QVERIFY(w.detected());
        QVERIFY(w.active());
        QCOMPARE(QApplication::focusWidget(), w.welcome().checkBoxButton);
        for (const QString &key : keys) {
            press(keyNamed(key));
            QWidget *focus = QApplication::focusWidget();
            QVERIFY2(focus && focus->isVisible() && focus->isEnabled(), qPrintable(key));
            // Each screen opens on its main control.
            if (w.controller->licenseScreen()->isVisible() && key == QLatin1String("space"))
                QCOMPARE(focus, w.controller->licenseScreen()->ui().licenseTextView);
            if (w.controller->publicPrivateScreen()->isVisible() && !key.contains(QLatin1String("tab")))
                QCOMPARE(focus, w.controller->publicPrivateScreen()->chosenButton());
            // F1 shows the help, Escape hides it.
            if (key == QLatin1String("f1") || key == QLatin1String("escape"))
                QCOMPARE(w.welcome().helpIconView->tooltipView()->isVisible(), key == QLatin1String("f1"));
        }
        QVERIFY(QTest::qWaitFor([&] { return w.platform.channel->heldReplies() == 1; }, patience));
        QCOMPARE(w.screen(), QStringLiteral("progress"));
        QCOMPARE(QApplication::focusWidget(), w.controller->progressScreen()->ui().installProgressIndicator);
        w.platform.channel->release();
        QVERIFY(w.finished());
        QCOMPARE(QApplication::focusWidget(), w.ui().closeButton);
        QVERIFY(w.ui().closeButton->isDefault());
        QCOMPARE(w.recordedPrivate(), isPrivate ? QStringLiteral("YES") : QStringLiteral("NO"));
    }

    // Escape closes a sheet as its closing button does, and the log window;
    // Ctrl+S saves the log, and Save is in the Tab order.
    void sheetsAndLogByKeys()
    {
        Window w;
        QVERIFY(w.detected());
        QSignalSpy cancelled(w.controller->appsBusySheet(), &KYAppsBusySheet::cancelClicked);
        w.controller->displayAppsBusyWarningSheet();
        QVERIFY(ScreenReading::inFront(w.controller->appsBusySheet()));
        press(Qt::Key_Escape);
        QVERIFY(!w.controller->appsBusySheet()->isVisible());
        QCOMPARE(cancelled.count(), 1);
        QSignalSpy declined(w.controller->warningSheet(), &KYWarningSheet::cancelClicked);
        w.controller->displayWarningSheet();
        QVERIFY(ScreenReading::inFront(w.controller->warningSheet()));
        press(Qt::Key_Escape);
        QVERIFY(!w.controller->warningSheet()->isVisible());
        QCOMPARE(declined.count(), 1);
        QVERIFY(!w.controller->installer().state().installationInProgress);

        w.welcome().checkBoxButton->click();
        w.ui().multipleActionsButton->click();
        w.ui().multipleActionsButton->click();
        QVERIFY(w.finished());
        QVERIFY(QTest::qWaitFor([&] { return w.ui().installerLog->isEnabled(); }, patience));
        KYLogWindow *log = w.controller->logWindow();
        int saves = 0;
        log->setSavePanel([&saves](QWidget *, const QString &, const QString &) {
            ++saves;
            return QString();
        });
        w.ui().installerLog->trigger();
        QVERIFY(ScreenReading::inFront(log));
        log->searchField()->setFocus(Qt::TabFocusReason);
        press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(saves, 1);
        press(Qt::Key_Tab);
        QWidget *save = log->ui().logToolBar->widgetForAction(log->ui().saveButtonItem);
        QCOMPARE(QApplication::focusWidget(), save);
        press(Qt::Key_Space);
        QCOMPARE(saves, 2);
        press(Qt::Key_Escape);
        QVERIFY(!log->isVisible());
    }

    // The focus mark of each control differs from what is under it by at
    // least 3:1 somewhere; a placeholder reads at 4.5:1.
    void focusMarkIsVisible_data()
    {
        QTest::addColumn<QString>("control");
        for (const char *control :
             {"terms", "licence link", "product", "help", "cancel", "next", "private", "public", "back", "progress", "close"})
            QTest::newRow(control) << QString::fromLatin1(control);
    }
    void focusMarkIsVisible()
    {
        QFETCH(QString, control);
        Window w;
        w.platform.channel->push(FakeHelperChannel::Behaviour::Completes);
        w.platform.channel->push(FakeHelperChannel::Behaviour::AnswersLate);
        QVERIFY(w.detected());
        QVERIFY(w.active());
        w.welcome().checkBoxButton->click();
        const bool later = control == QLatin1String("progress") || control == QLatin1String("close");
        const bool onChoice = control == QLatin1String("private") || control == QLatin1String("public")
                              || control == QLatin1String("back");
        if (onChoice || later)
            w.ui().multipleActionsButton->click();
        if (later) {
            w.ui().multipleActionsButton->click();
            QVERIFY(QTest::qWaitFor([&] { return w.platform.channel->heldReplies() == 1; }, patience));
        }
        if (control == QLatin1String("close")) {
            w.platform.channel->release();
            QVERIFY(w.finished());
        }
        const std::pair<const char *, QWidget *> controls[] = {
            {"terms", w.welcome().checkBoxButton},       {"licence link", w.welcome().termsOfServiceButton},
            {"product", w.welcome().sourceIconView},     {"help", w.welcome().helpIconView},
            {"cancel", w.ui().cancelButton},             {"next", w.ui().multipleActionsButton},
            {"private", w.choice().privateCheckBoxButton}, {"public", w.choice().publicCheckBoxButton},
            {"back", w.ui().backButton},
            {"progress", w.controller->progressScreen()->ui().installProgressIndicator},
            {"close", w.ui().closeButton},
        };
        QWidget *widget = nullptr;
        for (const auto &[name, candidate] : controls) {
            if (control == QLatin1String(name))
                widget = candidate;
        }
        QVERIFY(widget && widget->isVisible());
        // Away from it by the keyboard, so the style shows keyboard focus.
        QWidget *elsewhere = onChoice && widget != w.ui().backButton ? static_cast<QWidget *>(w.ui().backButton)
                                                                       : static_cast<QWidget *>(w.ui().multipleActionsButton);
        if (widget == w.ui().multipleActionsButton)
            elsewhere = w.ui().cancelButton;
        // Nothing else on these screens takes the focus.
        if (later)
            widget->clearFocus();
        else
            elsewhere->setFocus(Qt::TabFocusReason);
        QVERIFY(!widget->hasFocus());
        // The widget and a margin around it, where a ring may lie.
        QWidget *window = widget->window();
        const QRect area(widget->mapTo(window, QPoint(-4, -4)), widget->size() + QSize(8, 8));
        const QImage without = window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
        widget->setFocus(Qt::TabFocusReason);
        QVERIFY(widget->hasFocus());
        const QImage with = window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(with.size(), without.size());
        double strongest = 1.0;
        for (int y = 0; y < with.height(); ++y) {
            for (int x = 0; x < with.width(); ++x)
                strongest = std::max(strongest, ScreenReading::contrast(with.pixel(x, y), without.pixel(x, y)));
        }
        QVERIFY2(strongest >= 3.0, qPrintable(QString::number(strongest)));
        w.platform.channel->release();
    }

    void placeholderIsReadable()
    {
        Window w;
        QLineEdit *search = w.controller->logWindow()->searchField();
        QVERIFY(!search->placeholderText().isEmpty());
        const QPalette palette = search->palette();
        const double ratio = ScreenReading::contrast(palette.color(QPalette::PlaceholderText).rgb(), palette.color(QPalette::Base).rgb());
        QVERIFY2(ratio >= 4.5, qPrintable(QString::number(ratio)));
        QCOMPARE(QAccessible::queryAccessibleInterface(search)->text(QAccessible::Name), search->placeholderText());
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
