#pragma once

#include "installer/core/InstallerFrontEnd.h"
#include "shared/StringTable.h"
#include "installer/core/KYInstaller.h"
#include "installer/core/KYNotificationCenter.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <optional>

class QAbstractButton;
class QKeyEvent;
class QPushButton;
class QLineEdit;
class QLocale;

namespace Ui {
class KYViewController;
}

namespace tavoren::installer {

class KYAppDelegate;
class KYAppsBusySheet;
class KYLicenseScreen;
class KYLogWindow;
class KYProgressScreen;
class KYPublicPrivateScreen;
class KYQuitSheet;
class KYResultScreen;
class KYWarningSheet;
class KYWelcomeScreen;

// The installer window: one box that shows one screen at a time (welcome,
// licence, public/private, progress, result), the button row with the main
// action button, the application menu, the sheets and the log window. Each
// screen and sheet is a class of its own; the controller composes them,
// leads the user from one to the next, and shows what the installer core
// does, as its front-end.
class KYViewController final : public QMainWindow, public InstallerFrontEnd
{
    Q_OBJECT

public:
    // What the main action button does; the flow sets it with the title.
    enum class MainButtonAction { Next, Back, Install };

    // `resourceFolder` holds the localisation table.
    KYViewController(KYInstaller::Environment environment, const QString &resourceFolder, QWidget *parent = nullptr);
    ~KYViewController() override;

    void setAppDelegate(KYAppDelegate *delegate) { m_delegate = delegate; }
    // Start-up, once the window exists: observers, log, texts, control
    // states, package detection. Show the window afterwards.
    void awakeFromNib(const QStringList &arguments);

    KYInstaller &installer() { return *m_installer; }
    shared::StringTable &strings() { return m_strings; }
    KYNotificationCenter &notificationCenter() { return m_notificationCenter; }
    Ui::KYViewController &ui() { return *m_ui; }
    KYWelcomeScreen *welcomeScreen() const { return m_welcomeScreen; }
    KYLicenseScreen *licenseScreen() const { return m_licenseScreen; }
    KYPublicPrivateScreen *publicPrivateScreen() const { return m_publicPrivateScreen; }
    KYProgressScreen *progressScreen() const { return m_progressScreen; }
    KYResultScreen *resultScreen() const { return m_resultScreen; }
    KYQuitSheet *quitAppWarningSheet() const { return m_quitSheet; }
    KYWarningSheet *warningSheet() const { return m_warningSheet; }
    KYAppsBusySheet *appsBusySheet() const { return m_appsBusySheet; }
    KYLogWindow *logWindow() const { return m_logWindow; }
    MainButtonAction mainButtonAction() const { return m_mainButtonAction; }
    // The window's own close button may be used.
    bool isWindowCloseEnabled() const { return m_windowCloseEnabled; }

    // "%@\n(%@: %@ %@)": the disk's name and its free gigabytes in the
    // locale's number form.
    static QString diskDetailsText(const QString &diskName, qint64 freeBytes, const QLocale &locale,
                                   const QString &availableSpace, const QString &gigabytes);

    // Actions.
    void acceptTermsCheckBoxClicked(QAbstractButton *sender);
    void publicCheckBoxClicked(QAbstractButton *sender);
    void privateCheckBoxClicked(QAbstractButton *sender);
    void nextOrBackOrFinishButtonAction(QAbstractButton *sender);
    void backButtonActionInPublicPrivateView(QAbstractButton *sender);
    void displayLicenseView(QAbstractButton *sender);
    void displayWarningSheetWhenQuittingApplication(QObject *sender);
    void exitApplication(QObject *sender);
    void quitAppWarningSheetOKPressed(QAbstractButton *sender);
    void warningSheetOKPressed(QAbstractButton *sender);
    void warningSheetCancelPressed(QAbstractButton *sender);
    void appsBusyWarningSheetCancelPressed(QAbstractButton *sender);
    void showInstallationLog(QObject *sender);
    void showLogFileSavePanel(QObject *sender);
    void filterLog(QLineEdit *searchField);

    // Screens and sheets.
    void displayInstallationViewFromLicenseView();
    void displayPublicOrPrivateView();
    void showLicenseText();
    void enableShowLogMenuItem();
    void showBorderOnTermsAndConditionsView();
    void displayWarningSheet();
    void displayAppsBusyWarningSheet();
    void initiateInstallation();
    void initializeNIB();
    void retrieveInstallationLogsToView();
    void retrieveInstallationLogFromSystemLogs();

    // The front-end of the installer core.
    void showPackageFound() override;
    void showPackageMissing(const QString &missingText) override;
    void showDetectionResult(const QString &productLabel, const std::optional<QString> &warning) override;
    void setDestinationDiskDetails() override;
    void helperRegistrationFailed() override {}
    void lockInstallationStart() override;
    void setWindowCloseEnabled(bool enabled) override;
    void displayInstallationInProgressView() override;
    void setProgressHeadline(const QString &text) override;
    void updatesTheInstallationProgressbar() override;
    void displayProgressInfo(const ProgressRecord &record) override;
    void displayInstallFinishedView(bool installFailed) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    // Return presses the screen's default button wherever the focus is,
    // unless the focused control takes Return itself.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString localized(const QString &key) const { return m_strings.lookup(key); }
    void makeScreens();
    void connectActions();
    void showScreen(QWidget *screen);
    void setMainButtonAction(MainButtonAction action);
    // The public/private flag from what the screen shows.
    void recordComputerChoice();
    // Close on the result screen, else the main action button.
    QPushButton *defaultButton() const;
    // The shown screen's main control takes the focus, never a hidden one.
    void focusMainControl();

    std::unique_ptr<Ui::KYViewController> m_ui;
    shared::StringTable m_strings;
    KYNotificationCenter m_notificationCenter;
    QPointer<KYAppDelegate> m_delegate;
    bool m_windowCloseEnabled = true;
    MainButtonAction m_mainButtonAction = MainButtonAction::Next;

    // Owned by the window as Qt children.
    KYWelcomeScreen *m_welcomeScreen = nullptr;
    KYLicenseScreen *m_licenseScreen = nullptr;
    KYPublicPrivateScreen *m_publicPrivateScreen = nullptr;
    KYProgressScreen *m_progressScreen = nullptr;
    KYResultScreen *m_resultScreen = nullptr;
    KYQuitSheet *m_quitSheet = nullptr;
    KYWarningSheet *m_warningSheet = nullptr;
    KYAppsBusySheet *m_appsBusySheet = nullptr;
    KYLogWindow *m_logWindow = nullptr;

    // Declared last, so it goes first: its threads end before any control.
    std::unique_ptr<KYInstaller> m_installer;
};

} // namespace tavoren::installer
