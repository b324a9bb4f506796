#pragma once

#include "installer/core/InstallerFrontEnd.h"
#include "installer/core/InstallerStrings.h"
#include "installer/core/KYInstaller.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QAbstractButton;
class QAction;
class QLabel;
class QLineEdit;
class QLocale;
class QWidgetAction;

namespace Ui {
class KYViewController;
}

namespace tavoren::installer {

class KYAppDelegate;

// The installer window: the drag-to-install, licence, public/private,
// progress and result screens in one box, the main action button, the
// sheets, the application menu and the log window. It shows what the
// installer core does, as its front-end, and hands the user's choices to it.
class KYViewController final : public QMainWindow, public InstallerFrontEnd
{
    Q_OBJECT

public:
    // `resourceFolder` holds the localisation table.
    KYViewController(KYInstaller::Environment environment, const QString &resourceFolder, QWidget *parent = nullptr);
    ~KYViewController() override;

    void setAppDelegate(KYAppDelegate *delegate) { m_delegate = delegate; }
    // Start-up, once the window exists: observers, log, texts, control
    // states, package detection. Show the window afterwards.
    void awakeFromNib(const QStringList &arguments);

    KYInstaller &installer() { return *m_installer; }
    InstallerStrings &strings() { return m_strings; }
    Ui::KYViewController &ui() { return *m_ui; }

    // The save panel: the chosen file name, empty when the user cancels.
    using SavePanel = std::function<QString(QWidget *parent, const QString &title, const QString &suggestedName)>;
    void setSavePanel(SavePanel panel) { m_savePanel = std::move(panel); }
    // The last failed save's message to the user, empty when none.
    QString lastSaveError() const { return m_lastSaveError; }

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

    // The window's own close button may be used.
    bool isWindowCloseEnabled() const { return m_windowCloseEnabled; }
    QString logFileData() const { return m_logFileData; }
    QStringList allLinesOfLogFileData() const { return m_allLinesOfLogFileData; }
    QWidget *logWindow() const;
    QWidget *quitAppWarningSheet() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString localized(const QString &key) const { return m_strings.lookup(key); }
    void setImage(QLabel *view, const QString &name);
    void makeSheet(QWidget *sheet);
    void showScreen(QWidget *screen);
    void setMainButtonTitle(const QString &key);
    void setTermsBoxBorder(const QColor &color);

    std::unique_ptr<Ui::KYViewController> m_ui;
    InstallerStrings m_strings;
    QPointer<KYAppDelegate> m_delegate;
    QPointer<QLineEdit> m_searchField;
    QWidgetAction *m_searchItem = nullptr;
    QLabel *m_helpText = nullptr;
    bool m_windowCloseEnabled = true;

    // The Part's fields.
    QString m_availablePackageVersion;
    QString m_logFileData;
    QStringList m_allLinesOfLogFileData;
    QString m_lastSaveError;
    SavePanel m_savePanel;

    // Declared last, so it goes first: its threads end before any control.
    std::unique_ptr<KYInstaller> m_installer;
};

} // namespace tavoren::installer
