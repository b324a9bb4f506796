#include "installer/app/KYViewController.h"

#include "installer/app/KYAppDelegate.h"
#include "installer/app/KYAppsBusySheet.h"
#include "installer/app/KYLicenseScreen.h"
#include "installer/app/KYLogWindow.h"
#include "installer/app/KYProgressScreen.h"
#include "installer/app/KYPublicPrivateScreen.h"
#include "installer/app/KYQuitSheet.h"
#include "installer/app/KYResultScreen.h"
#include "installer/app/KYWarningSheet.h"
#include "installer/app/KYWelcomeScreen.h"
#include "shared/SystemPath.h"
#include "shared/widgets/FocusMark.h"
#include "ui_KYPublicPrivateScreen.h"
#include "ui_KYViewController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QStorageInfo>
#include <QTimer>

namespace tavoren::installer {

namespace {
const QLatin1String captureMissing("Error: Can not find Installation Log file at /var/tmp/kyr/kyr_install.log!");

QString titleKey(KYViewController::MainButtonAction action)
{
    switch (action) {
    case KYViewController::MainButtonAction::Next:
        return QStringLiteral("Next");
    case KYViewController::MainButtonAction::Back:
        return QStringLiteral("Back");
    case KYViewController::MainButtonAction::Install:
        return QStringLiteral("Install");
    }
    return {};
}
} // namespace

KYViewController::KYViewController(KYInstaller::Environment environment, const QString &resourceFolder, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::KYViewController>())
    , m_strings(resourceFolder, QStringLiteral("Installer"), shared::StringTable::Missing::Key)
{
    m_ui->setupUi(this);
    // The style draws focus marks only once the keyboard has moved the
    // focus; here they show from the start, so no one has to find the focus.
    setAttribute(Qt::WA_KeyboardFocusChange);
    environment.localized = [this](const QString &key) { return localized(key); };
    m_installer = std::make_unique<KYInstaller>(*this, std::move(environment));
    makeScreens();
    connectActions();
    new shared::FocusMark(this);
}

KYViewController::~KYViewController()
{
    // Its background threads end, and nothing they posted runs, before any
    // control goes.
    m_installer.reset();
}

void KYViewController::makeScreens()
{
    m_welcomeScreen = new KYWelcomeScreen(m_installer->state(), m_notificationCenter, m_ui->installationBox);
    m_welcomeScreen->setParentWindow(this);
    m_licenseScreen = new KYLicenseScreen(m_ui->installationBox);
    m_publicPrivateScreen = new KYPublicPrivateScreen(m_ui->installationBox);
    m_progressScreen = new KYProgressScreen(m_ui->installationBox);
    m_resultScreen = new KYResultScreen(m_ui->installationBox);
    for (QWidget *screen : {static_cast<QWidget *>(m_welcomeScreen), static_cast<QWidget *>(m_licenseScreen),
                            static_cast<QWidget *>(m_publicPrivateScreen), static_cast<QWidget *>(m_progressScreen),
                            static_cast<QWidget *>(m_resultScreen)})
        m_ui->installationBoxLayout->addWidget(screen);
    // Windows of their own, attached to this one.
    m_quitSheet = new KYQuitSheet(this);
    m_warningSheet = new KYWarningSheet(this);
    m_appsBusySheet = new KYAppsBusySheet(this);
    m_logWindow = new KYLogWindow(this);
}

void KYViewController::connectActions()
{
    connect(m_welcomeScreen, &KYWelcomeScreen::termsClicked, this, &KYViewController::acceptTermsCheckBoxClicked);
    connect(m_welcomeScreen, &KYWelcomeScreen::licenseLinkClicked, this, [this] { displayLicenseView(nullptr); });
    connect(m_publicPrivateScreen, &KYPublicPrivateScreen::publicClicked, this,
            [this] { publicCheckBoxClicked(m_publicPrivateScreen->ui().publicCheckBoxButton); });
    connect(m_publicPrivateScreen, &KYPublicPrivateScreen::privateClicked, this,
            [this] { privateCheckBoxClicked(m_publicPrivateScreen->ui().privateCheckBoxButton); });
    // Arrow keys change the choice without a click signal on every road.
    connect(m_publicPrivateScreen, &KYPublicPrivateScreen::choiceChanged, this, [this] { recordComputerChoice(); });
    connect(m_ui->multipleActionsButton, &QAbstractButton::clicked, this,
            [this] { nextOrBackOrFinishButtonAction(m_ui->multipleActionsButton); });
    connect(m_ui->backButton, &QAbstractButton::clicked, this,
            [this] { backButtonActionInPublicPrivateView(m_ui->backButton); });
    connect(m_ui->cancelButton, &QAbstractButton::clicked, this, [this] { exitApplication(m_ui->cancelButton); });
    connect(m_ui->closeButton, &QAbstractButton::clicked, this, [this] { exitApplication(m_ui->closeButton); });
    connect(m_quitSheet, &KYQuitSheet::okClicked, this, [this] { quitAppWarningSheetOKPressed(nullptr); });
    connect(m_warningSheet, &KYWarningSheet::okClicked, this, [this] { warningSheetOKPressed(nullptr); });
    connect(m_warningSheet, &KYWarningSheet::cancelClicked, this, [this] { warningSheetCancelPressed(nullptr); });
    connect(m_appsBusySheet, &KYAppsBusySheet::cancelClicked, this, [this] { appsBusyWarningSheetCancelPressed(nullptr); });
    connect(m_ui->quitMenuItem, &QAction::triggered, this, [this] { displayWarningSheetWhenQuittingApplication(m_ui->quitMenuItem); });
    connect(m_ui->installerLog, &QAction::triggered, this, [this] { showInstallationLog(m_ui->installerLog); });
    connect(m_ui->hideMenuItem, &QAction::triggered, this, &QWidget::showMinimized);
    connect(m_ui->showAll, &QAction::triggered, this, [this] {
        showNormal();
        raise();
    });
    connect(m_ui->aboutMenuItem, &QAction::triggered, this, [this] {
        QMessageBox::about(this, localized(QStringLiteral("AboutWrapper")),
                           localized(QStringLiteral("displayName")) + QLatin1Char('\n')
                               + m_installer->availablePackageVersion().value_or(QString()));
    });
}

// ---- Start-up

void KYViewController::awakeFromNib(const QStringList &arguments)
{
    m_notificationCenter.addObserver(KYNotificationCenter::PerformDragOperationNotification, this,
                                     [this] { displayPublicOrPrivateView(); });
    m_notificationCenter.addObserver(KYNotificationCenter::TermsNotAcceptedNotification, this,
                                     [this] { showBorderOnTermsAndConditionsView(); });

    m_installer->configure(arguments);
    m_installer->initLogFile();
    initializeNIB();

    m_welcomeScreen->setTermsEnabled(false);
    for (QPushButton *button : {m_ui->closeButton, m_ui->backButton}) {
        button->setEnabled(false);
        button->setVisible(false);
    }
    m_welcomeScreen->setTermsBorder(false);
    m_ui->multipleActionsButton->setEnabled(false);
    setMainButtonAction(MainButtonAction::Next);
    m_ui->installerLog->setVisible(false);
    m_ui->installerLog->setEnabled(false);
    showScreen(m_welcomeScreen);
    focusMainControl();

    m_installer->initApps();
}

void KYViewController::initializeNIB()
{
    // Every text from its key; a key without an entry shows as itself.
    setWindowTitle(localized(QStringLiteral("titleWindow")));
    m_ui->applicationMenu->setTitle(localized(QStringLiteral("titleWindow")));
    const std::pair<QAbstractButton *, const char *> buttons[] = {
        {m_ui->multipleActionsButton, "Next"},
        {m_ui->backButton, "Back"},
        {m_ui->cancelButton, "Cancel"},
        {m_ui->closeButton, "Close"},
    };
    for (const auto &[button, key] : buttons)
        button->setText(localized(QLatin1String(key)));
    const std::pair<QAction *, const char *> actions[] = {
        {m_ui->aboutMenuItem, "AboutWrapper"}, {m_ui->installerLog, "InstallerLog"}, {m_ui->hideMenuItem, "HideWrapper"},
        {m_ui->hideOthers, "HideOthers"},      {m_ui->showAll, "ShowAll"},           {m_ui->quitMenuItem, "QuitWrapper"},
    };
    for (const auto &[action, key] : actions)
        action->setText(localized(QLatin1String(key)));
    // Other applications cannot be hidden from here.
    m_ui->hideOthers->setEnabled(false);
    // Return on a focused button presses that button, as in a dialog; the
    // main action button is the default elsewhere.
    for (const auto &[button, key] : buttons) {
        Q_UNUSED(key);
        if (auto *push = qobject_cast<QPushButton *>(button))
            push->setAutoDefault(true);
    }
    m_ui->multipleActionsButton->setDefault(true);

    m_welcomeScreen->localize(m_strings);
    m_licenseScreen->localize(m_strings);
    m_progressScreen->localize(m_strings);
    m_publicPrivateScreen->localize(m_strings);
    m_quitSheet->localize(m_strings);
    m_warningSheet->localize(m_strings);
    m_appsBusySheet->localize(m_strings);
    m_logWindow->localize(m_strings);
}

void KYViewController::setMainButtonAction(MainButtonAction action)
{
    m_mainButtonAction = action;
    m_ui->multipleActionsButton->setText(localized(titleKey(action)));
}

QString KYViewController::diskDetailsText(const QString &diskName, qint64 freeBytes, const QLocale &locale,
                                          const QString &availableSpace, const QString &gigabytes)
{
    const double gb = double(std::max<qint64>(freeBytes, 0)) / 1000000000.0;
    // French sets a colon off with a no-break space.
    const QString format = locale.language() == QLocale::French ? QStringLiteral("%@\n(%@\u00a0: %@ %@)")
                                                                 : QStringLiteral("%@\n(%@: %@ %@)");
    return KYInstaller::formatted(format, {diskName, availableSpace, locale.toString(gb, 'f', 2), gigabytes});
}

void KYViewController::setDestinationDiskDetails()
{
    const QStorageInfo storage(QString::fromStdString(shared::SystemPath::resolve("/")));
    const qint64 free = storage.isValid() && storage.isReady() ? storage.bytesAvailable() : 0;
    // The volume's own name, else what the user calls it.
    QString name = storage.name();
    if (name.isEmpty())
        name = localized(QStringLiteral("StartupDisk"));
    m_welcomeScreen->setDestinationDetails(diskDetailsText(name, free, QLocale(), localized(QStringLiteral("AvailableSpace")),
                                                           localized(QStringLiteral("GB"))));
}

// ---- Detection

void KYViewController::showPackageFound()
{
    m_welcomeScreen->showPackageFound(localized(QStringLiteral("applicationImage")));
}

void KYViewController::showPackageMissing(const QString &missingText)
{
    m_welcomeScreen->showPackageMissing(missingText);
}

void KYViewController::showDetectionResult(const QString &productLabel, const std::optional<QString> &warning)
{
    m_welcomeScreen->showDetectionResult(productLabel, warning);
}

// ---- The flow

void KYViewController::acceptTermsCheckBoxClicked(QAbstractButton *sender)
{
    const bool accepted = sender->isChecked();
    m_installer->state().isTermsAndConditionsAccepted = accepted;
    m_ui->multipleActionsButton->setEnabled(accepted);
    if (accepted)
        m_welcomeScreen->setTermsBorder(false);
}

void KYViewController::showBorderOnTermsAndConditionsView()
{
    if (m_welcomeScreen->termsEnabled())
        m_welcomeScreen->setTermsBorder(true);
}

// The screen's buttons are one exclusive choice: what they show is the
// answer, recorded on every change and once more as the installation starts.
void KYViewController::publicCheckBoxClicked(QAbstractButton *)
{
    recordComputerChoice();
}

void KYViewController::privateCheckBoxClicked(QAbstractButton *)
{
    recordComputerChoice();
}

void KYViewController::recordComputerChoice()
{
    m_installer->state().isPrivateComputerAccepted = m_publicPrivateScreen->isPrivateChosen();
}

void KYViewController::nextOrBackOrFinishButtonAction(QAbstractButton *)
{
    switch (m_mainButtonAction) {
    case MainButtonAction::Next:
        displayPublicOrPrivateView();
        return;
    case MainButtonAction::Back:
        displayInstallationViewFromLicenseView();
        return;
    case MainButtonAction::Install:
        initiateInstallation();
        return;
    }
}

void KYViewController::backButtonActionInPublicPrivateView(QAbstractButton *)
{
    displayInstallationViewFromLicenseView();
}

void KYViewController::showScreen(QWidget *screen)
{
    for (QWidget *view : {static_cast<QWidget *>(m_welcomeScreen), static_cast<QWidget *>(m_licenseScreen),
                          static_cast<QWidget *>(m_publicPrivateScreen), static_cast<QWidget *>(m_progressScreen),
                          static_cast<QWidget *>(m_resultScreen)})
        view->setVisible(view == screen);
}

QPushButton *KYViewController::defaultButton() const
{
    return m_resultScreen->isVisible() ? m_ui->closeButton : m_ui->multipleActionsButton;
}

void KYViewController::focusMainControl()
{
    // Shown within the window, whether the window is shown yet or not.
    const auto shown = [this](const QWidget *widget) { return widget && widget->isVisibleTo(this) && widget->isEnabled(); };
    QWidget *target = nullptr;
    if (shown(m_welcomeScreen))
        target = m_welcomeScreen->mainControl();
    else if (shown(m_licenseScreen))
        target = m_licenseScreen->mainControl();
    else if (shown(m_publicPrivateScreen))
        target = m_publicPrivateScreen->chosenButton();
    else if (shown(m_progressScreen))
        target = m_progressScreen->mainControl();
    else if (shown(m_resultScreen))
        target = m_ui->closeButton;
    if (!shown(target))
        target = shown(m_ui->cancelButton) ? m_ui->cancelButton : nullptr;
    // Tab's reason: the style shows the focus mark, as after a Tab.
    if (target)
        target->setFocus(Qt::TabFocusReason);
}

void KYViewController::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QPushButton *button = defaultButton();
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && button->isVisible() && button->isEnabled()) {
        event->accept();
        button->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void KYViewController::displayLicenseView(QAbstractButton *)
{
    m_welcomeScreen->setLicenseLinkVisible(false);
    showScreen(m_licenseScreen);
    m_licenseScreen->clear();
    m_ui->cancelButton->setVisible(false);
    setMainButtonAction(MainButtonAction::Back);
    m_ui->multipleActionsButton->setEnabled(true);
    showLicenseText();
    focusMainControl();
}

void KYViewController::showLicenseText()
{
    m_licenseScreen->showLicenseText();
}

void KYViewController::displayInstallationViewFromLicenseView()
{
    showScreen(m_welcomeScreen);
    m_welcomeScreen->setLicenseLinkVisible(true);
    if (!m_welcomeScreen->termsChecked())
        m_ui->multipleActionsButton->setEnabled(false);
    setMainButtonAction(MainButtonAction::Next);
    m_ui->cancelButton->setVisible(true);
    m_ui->backButton->setEnabled(false);
    m_ui->backButton->setVisible(false);
    focusMainControl();
}

void KYViewController::displayPublicOrPrivateView()
{
    m_welcomeScreen->setLicenseLinkVisible(false);
    showScreen(m_publicPrivateScreen);
    m_licenseScreen->clear();
    m_ui->cancelButton->setVisible(false);
    setMainButtonAction(MainButtonAction::Install);
    m_ui->multipleActionsButton->setEnabled(true);
    m_ui->backButton->setEnabled(true);
    m_ui->backButton->setVisible(true);
    focusMainControl();
}

void KYViewController::initiateInstallation()
{
    recordComputerChoice();
    m_installer->proceedWithInstallation();
}

void KYViewController::lockInstallationStart()
{
    m_welcomeScreen->setLicenseLinkVisible(false);
    m_welcomeScreen->setTermsEnabled(false);
}

void KYViewController::setWindowCloseEnabled(bool enabled)
{
    m_windowCloseEnabled = enabled;
}

void KYViewController::displayInstallationInProgressView()
{
    m_welcomeScreen->setLicenseLinkVisible(false);
    m_welcomeScreen->setLicenseLinkEnabled(false);
    m_progressScreen->prepare(localized(QStringLiteral("applicationImage")));
    for (QPushButton *button : {m_ui->cancelButton, m_ui->multipleActionsButton, m_ui->backButton}) {
        button->setVisible(false);
        button->setEnabled(false);
    }
    showScreen(m_progressScreen);
    focusMainControl();
    repaint();
}

void KYViewController::setProgressHeadline(const QString &text)
{
    m_progressScreen->setHeadline(text);
}

void KYViewController::updatesTheInstallationProgressbar()
{
    m_progressScreen->startBar();
}

void KYViewController::displayProgressInfo(const ProgressRecord &record)
{
    m_progressScreen->setProgress(record.progressValue, record.progressString);
}

void KYViewController::displayInstallFinishedView(bool installFailed)
{
    retrieveInstallationLogsToView();
    showScreen(m_resultScreen);
    m_ui->closeButton->setEnabled(true);
    m_ui->closeButton->setVisible(true);
    // Return from anywhere closes, as the main button did before.
    m_ui->multipleActionsButton->setDefault(false);
    m_ui->closeButton->setDefault(true);
    m_resultScreen->showResult(installFailed, m_strings);
    m_windowCloseEnabled = true;
    focusMainControl();
}

// ---- Quitting and closing

void KYViewController::exitApplication(QObject *)
{
    QApplication::quit();
}

void KYViewController::displayWarningSheetWhenQuittingApplication(QObject *sender)
{
    const auto &state = m_installer->state();
    if (!state.installationInProgress && !state.uninstallationInProgress) {
        exitApplication(sender);
        return;
    }
    m_quitSheet->present();
}

void KYViewController::closeEvent(QCloseEvent *event)
{
    // The window manager's close is the close button: refused while busy.
    if (m_delegate && (!m_windowCloseEnabled || !m_delegate->windowShouldClose(this))) {
        event->ignore();
        displayWarningSheetWhenQuittingApplication(this);
        return;
    }
    m_logWindow->close();
    event->accept();
}

void KYViewController::quitAppWarningSheetOKPressed(QAbstractButton *)
{
    m_quitSheet->hide();
}

void KYViewController::displayWarningSheet()
{
    m_warningSheet->present();
}

void KYViewController::warningSheetOKPressed(QAbstractButton *)
{
    m_warningSheet->hide();
    recordComputerChoice();
    m_installer->proceedWithInstallation();
}

void KYViewController::warningSheetCancelPressed(QAbstractButton *)
{
    m_warningSheet->hide();
}

void KYViewController::displayAppsBusyWarningSheet()
{
    m_appsBusySheet->present();
}

void KYViewController::appsBusyWarningSheetCancelPressed(QAbstractButton *)
{
    m_warningSheet->resetTextColour();
    m_appsBusySheet->hide();
}

// ---- The log window

void KYViewController::retrieveInstallationLogsToView()
{
    // Posted, as a background step would: the result screen shows first.
    QTimer::singleShot(0, this, [this] {
        retrieveInstallationLogFromSystemLogs();
        enableShowLogMenuItem();
    });
}

void KYViewController::retrieveInstallationLogFromSystemLogs()
{
    InstallerLog &log = m_installer->log();
    const auto capture = log.capturedInstallLog();
    if (!capture) {
        m_logWindow->showCaptureMissing(log.logFileData(QString()), captureMissing);
        m_installer->WriteLog(QStringLiteral("Error: Could not find kyr_install.log"));
        return;
    }
    m_logWindow->showLog(log.logFileData(*capture));
}

void KYViewController::enableShowLogMenuItem()
{
    m_ui->installerLog->setVisible(true);
    m_ui->installerLog->setEnabled(true);
}

void KYViewController::showInstallationLog(QObject *)
{
    m_logWindow->present();
}

void KYViewController::filterLog(QLineEdit *searchField)
{
    m_logWindow->filterLog(searchField);
}

void KYViewController::showLogFileSavePanel(QObject *)
{
    m_logWindow->showLogFileSavePanel();
}

} // namespace tavoren::installer
