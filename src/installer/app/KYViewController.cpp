#include "installer/app/KYViewController.h"

#include "installer/app/KYAppDelegate.h"
#include "installer/app/KYSharedImages.h"
#include "installer/core/KYNotificationCenter.h"
#include "shared/SystemPath.h"
#include "ui_KYViewController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QSaveFile>
#include <QStorageInfo>
#include <QTimer>
#include <QToolBar>
#include <QWidgetAction>

namespace tavoren::installer {

namespace {
const QLatin1String captureMissing("Error: Can not find Installation Log file at /var/tmp/kyr/kyr_install.log!");
} // namespace

KYViewController::KYViewController(KYInstaller::Environment environment, const QString &resourceFolder, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::KYViewController>())
    , m_strings(resourceFolder)
    , m_savePanel([](QWidget *over, const QString &title, const QString &suggestedName) {
        return QFileDialog::getSaveFileName(over, title, suggestedName);
    })
{
    m_ui->setupUi(this);
    environment.localized = [this](const QString &key) { return localized(key); };
    m_installer = std::make_unique<KYInstaller>(*this, std::move(environment));
    m_ui->sourceIconView->setState(&m_installer->state());

    // The sheets and the log window are parts of the window resource, but
    // windows of their own.
    for (QWidget *sheet : {m_ui->quitAppWarningSheet, m_ui->warningSheetWindow, m_ui->appsBusyWarningSheetWindow})
        makeSheet(sheet);
    m_ui->logWindow->setParent(this, Qt::Window);
    m_ui->logWindow->hide();
    m_searchField = new QLineEdit(m_ui->logWindow);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setMinimumWidth(220);
    m_searchItem = new QWidgetAction(m_ui->logWindow);
    m_searchItem->setObjectName(QStringLiteral("searchItem"));
    m_searchItem->setDefaultWidget(m_searchField);

    // The help icon's view: a small note under it.
    m_helpText = new QLabel(this, Qt::ToolTip);
    m_helpText->setObjectName(QStringLiteral("helpTooltipView"));
    m_helpText->setWordWrap(true);
    m_helpText->setStyleSheet(QStringLiteral(
        "QLabel { background: #fbfcfe; color: #1b2b44; border: 1px solid #b8c4d6; border-radius: 4px; }"));
    m_helpText->setMaximumWidth(360);
    m_helpText->setMargin(8);
    m_ui->helpIconView->setTooltipView(m_helpText);
    m_ui->helpIconView->setParentWindow(this);

    // Controls to actions.
    connect(m_ui->checkBoxButton, &QAbstractButton::clicked, this, [this] { acceptTermsCheckBoxClicked(m_ui->checkBoxButton); });
    connect(m_ui->publicCheckBoxButton, &QAbstractButton::clicked, this,
            [this] { publicCheckBoxClicked(m_ui->publicCheckBoxButton); });
    connect(m_ui->privateCheckBoxButton, &QAbstractButton::clicked, this,
            [this] { privateCheckBoxClicked(m_ui->privateCheckBoxButton); });
    connect(m_ui->multipleActionsButton, &QAbstractButton::clicked, this,
            [this] { nextOrBackOrFinishButtonAction(m_ui->multipleActionsButton); });
    connect(m_ui->backButton, &QAbstractButton::clicked, this,
            [this] { backButtonActionInPublicPrivateView(m_ui->backButton); });
    connect(m_ui->termsOfServiceButton, &QAbstractButton::clicked, this,
            [this] { displayLicenseView(m_ui->termsOfServiceButton); });
    connect(m_ui->cancelButton, &QAbstractButton::clicked, this, [this] { exitApplication(m_ui->cancelButton); });
    connect(m_ui->closeButton, &QAbstractButton::clicked, this, [this] { exitApplication(m_ui->closeButton); });
    connect(m_ui->quit_App_WarningSheet_OK, &QAbstractButton::clicked, this,
            [this] { quitAppWarningSheetOKPressed(m_ui->quit_App_WarningSheet_OK); });
    connect(m_ui->warningSheetOKButton, &QAbstractButton::clicked, this,
            [this] { warningSheetOKPressed(m_ui->warningSheetOKButton); });
    connect(m_ui->warningSheetCancelButton, &QAbstractButton::clicked, this,
            [this] { warningSheetCancelPressed(m_ui->warningSheetCancelButton); });
    connect(m_ui->appsBusyWarningSheet_CancelButton, &QAbstractButton::clicked, this,
            [this] { appsBusyWarningSheetCancelPressed(m_ui->appsBusyWarningSheet_CancelButton); });
    for (QAbstractButton *button : {static_cast<QAbstractButton *>(m_ui->appsBusyWarningSheet_ContinueButton),
                                    static_cast<QAbstractButton *>(m_ui->feaRunning_ContinueButton)})
        connect(button, &QAbstractButton::clicked, m_ui->appsBusyWarningSheetWindow, &QWidget::hide);
    connect(m_ui->quitMenuItem, &QAction::triggered, this, [this] { displayWarningSheetWhenQuittingApplication(m_ui->quitMenuItem); });
    connect(m_ui->installerLog, &QAction::triggered, this, [this] { showInstallationLog(m_ui->installerLog); });
    connect(m_ui->saveButtonItem, &QAction::triggered, this, [this] { showLogFileSavePanel(m_ui->saveButtonItem); });
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
    connect(m_searchField, &QLineEdit::textChanged, this, [this] { filterLog(m_searchField); });
    // A click on a choice's text ticks its box, as on its box.
    for (QLabel *text : {m_ui->publicMessage, m_ui->privateMessage, m_ui->agreeTermsOfKYR})
        text->installEventFilter(this);
}

bool KYViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        QAbstractButton *box = watched == m_ui->publicMessage    ? static_cast<QAbstractButton *>(m_ui->publicCheckBoxButton)
                               : watched == m_ui->privateMessage ? static_cast<QAbstractButton *>(m_ui->privateCheckBoxButton)
                               : watched == m_ui->agreeTermsOfKYR ? static_cast<QAbstractButton *>(m_ui->checkBoxButton)
                                                                 : nullptr;
        if (box && box->isEnabled()) {
            box->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

KYViewController::~KYViewController()
{
    // Its background threads end, and nothing they posted runs, before any
    // control goes.
    m_installer.reset();
}

QWidget *KYViewController::logWindow() const
{
    return m_ui->logWindow;
}

QWidget *KYViewController::quitAppWarningSheet() const
{
    return m_ui->quitAppWarningSheet;
}

void KYViewController::makeSheet(QWidget *sheet)
{
    sheet->setParent(this, Qt::Sheet | Qt::Dialog);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->hide();
}

void KYViewController::setImage(QLabel *view, const QString &name)
{
    const QPixmap image = KYSharedImages::named(name);
    view->setPixmap(image.isNull() ? image : image.scaled(view->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

// ---- Start-up

void KYViewController::awakeFromNib(const QStringList &arguments)
{
    auto &center = KYNotificationCenter::defaultCenter();
    center.addObserver(KYNotificationCenter::PerformDragOperationNotification, this, [this] { displayPublicOrPrivateView(); });
    center.addObserver(KYNotificationCenter::TermsNotAcceptedNotification, this,
                       [this] { showBorderOnTermsAndConditionsView(); });

    m_installer->configure(arguments);
    m_installer->initLogFile();
    initializeNIB();

    m_ui->checkBoxButton->setEnabled(false);
    for (QPushButton *button : {m_ui->closeButton, m_ui->backButton}) {
        button->setEnabled(false);
        button->setVisible(false);
    }
    setTermsBoxBorder(QColor());
    m_ui->multipleActionsButton->setEnabled(false);
    setMainButtonTitle(QStringLiteral("Next"));
    // Private unless the user says otherwise, as the flag starts.
    m_ui->privateCheckBoxButton->setChecked(true);
    m_ui->installerLog->setVisible(false);
    m_ui->installerLog->setEnabled(false);
    showScreen(m_ui->installationView);

    m_installer->initApps();
}

void KYViewController::initializeNIB()
{
    // Every text from its key; a key without an entry shows as itself.
    setWindowTitle(localized(QStringLiteral("titleWindow")));
    m_ui->applicationMenu->setTitle(localized(QStringLiteral("titleWindow")));
    const std::pair<QLabel *, const char *> labels[] = {
        {m_ui->titleDragandDropMessage, "TitleMessage"},
        {m_ui->initializingInstaller, "Intializing"},
        {m_ui->agreeTermsOfKYR, "IAgreeTermsOfKYR"},
        {m_ui->licenseAgrement, "License"},
        {m_ui->publicMessage, "PublicComputer"},
        {m_ui->privateMessage, "PrivateComputer"},
        {m_ui->saveComputerSettingsMessage, "SaveComputerSettings"},
        {m_ui->quit_App_WarningSheet_installerBusyMessage, "InstallerBusy"},
        {m_ui->quit_App_WarningSheet_windowClosedMessage, "WindowClosed"},
        {m_ui->appsBusyWarningSheet_closeApplications, "CloseApplications"},
    };
    for (const auto &[label, key] : labels)
        label->setText(localized(QLatin1String(key)));
    const std::pair<QAbstractButton *, const char *> buttons[] = {
        {m_ui->termsOfServiceButton, "TermsOfService"},
        {m_ui->multipleActionsButton, "Next"},
        {m_ui->backButton, "Back"},
        {m_ui->cancelButton, "Cancel"},
        {m_ui->closeButton, "Close"},
        {m_ui->quit_App_WarningSheet_OK, "OK"},
        {m_ui->warningSheetOKButton, "OK"},
        {m_ui->warningSheetCancelButton, "Cancel"},
        {m_ui->appsBusyWarningSheet_CancelButton, "Cancel"},
        {m_ui->appsBusyWarningSheet_ContinueButton, "Continue"},
        {m_ui->feaRunning_ContinueButton, "Continue"},
    };
    for (const auto &[button, key] : buttons)
        button->setText(localized(QLatin1String(key)));
    m_ui->appsBusyWarningSheet_warning->setTitle(localized(QStringLiteral("Warning")));
    m_ui->warningSheetTextView->setText(localized(QStringLiteral("InstallWarning")));
    // The second Continue belongs to running applications that cannot be
    // closed; nothing here asks for it.
    m_ui->feaRunning_ContinueButton->setVisible(false);
    const std::pair<QAction *, const char *> actions[] = {
        {m_ui->aboutMenuItem, "AboutWrapper"}, {m_ui->installerLog, "InstallerLog"}, {m_ui->hideMenuItem, "HideWrapper"},
        {m_ui->hideOthers, "HideOthers"},      {m_ui->showAll, "ShowAll"},           {m_ui->quitMenuItem, "QuitWrapper"},
    };
    for (const auto &[action, key] : actions)
        action->setText(localized(QLatin1String(key)));
    m_ui->saveButtonItem->setText(localized(QStringLiteral("SaveLog")));
    m_searchField->setPlaceholderText(localized(QStringLiteral("SearchLog")));
    m_ui->logWindow->setWindowTitle(localized(QStringLiteral("InstallerLog")));
    // Other applications cannot be hidden from here.
    m_ui->hideOthers->setEnabled(false);
    m_helpText->setText(localized(QStringLiteral("HelpMessage")));
    // The terms read as a link beside the box.
    m_ui->termsOfServiceButton->setStyleSheet(
        QStringLiteral("QPushButton { border: none; color: #1565c0; text-decoration: underline; padding: 0 2px; }"));
    m_ui->termsOfServiceButton->adjustSize();
    m_ui->termsOfServiceButton->setCursor(Qt::PointingHandCursor);

    m_ui->backgroundView->setImageName(localized(QStringLiteral("backgroundImage")));
    setImage(m_ui->quitSheetImageView, QStringLiteral("Alert.png"));
    setImage(m_ui->warningSheetImageView, QStringLiteral("Alert.png"));
}

void KYViewController::setMainButtonTitle(const QString &key)
{
    m_ui->multipleActionsButton->setText(localized(key));
}

void KYViewController::setTermsBoxBorder(const QColor &color)
{
    m_ui->termsAndConditionsViewBox->setStyleSheet(
        color.isValid() ? QStringLiteral("#termsAndConditionsViewBox { border: 2px solid %1; border-radius: 4px; }").arg(color.name())
                        : QStringLiteral("#termsAndConditionsViewBox { border: 2px solid transparent; border-radius: 4px; }"));
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
    m_ui->destinationNameLabel->setText(diskDetailsText(name, free, QLocale(), localized(QStringLiteral("AvailableSpace")),
                                                        localized(QStringLiteral("GB"))));
}

// ---- Detection

void KYViewController::showPackageFound()
{
    KYSharedImages::setSourceIconImage(KYSharedImages::named(localized(QStringLiteral("applicationImage"))));
    m_ui->sourceIconView->refreshImage();
    setImage(m_ui->arrowImageView, QStringLiteral("Drag_arrow.png"));
    m_ui->warningField->setFont(m_ui->destinationNameLabel->font());
    m_ui->initializationRow->setVisible(true);
}

void KYViewController::showPackageMissing(const QString &missingText)
{
    m_ui->packageNameLabel->setStyleSheet(QStringLiteral("color: #c62828;"));
    m_ui->packageNameLabel->setText(missingText);
    KYSharedImages::setSourceIconImage(KYSharedImages::named(QStringLiteral("Alert.png")));
    m_ui->sourceIconView->refreshImage();
    m_ui->warningRow->setVisible(false);
    m_ui->initializationRow->setVisible(false);
}

void KYViewController::showDetectionResult(const QString &productLabel, const std::optional<QString> &warning)
{
    m_ui->packageNameLabel->setText(productLabel);
    m_ui->initializationRow->setVisible(false);
    if (warning) {
        m_ui->warningField->setText(*warning);
        setImage(m_ui->warningImageView, QStringLiteral("Alert.png"));
        m_ui->warningRow->setVisible(true);
    } else {
        m_ui->warningRow->setVisible(false);
    }
    m_ui->checkBoxButton->setEnabled(true);
}

// ---- The flow

void KYViewController::acceptTermsCheckBoxClicked(QAbstractButton *sender)
{
    auto &state = m_installer->state();
    if (sender->isChecked()) {
        state.isTermsAndConditionsAccepted = true;
        m_ui->multipleActionsButton->setEnabled(true);
        setTermsBoxBorder(QColor());
    } else {
        state.isTermsAndConditionsAccepted = false;
        m_ui->multipleActionsButton->setEnabled(false);
    }
}

void KYViewController::showBorderOnTermsAndConditionsView()
{
    if (m_ui->checkBoxButton->isEnabled())
        setTermsBoxBorder(QColor(Qt::red));
}

void KYViewController::publicCheckBoxClicked(QAbstractButton *)
{
    m_ui->privateCheckBoxButton->setChecked(false);
    if (m_ui->publicCheckBoxButton->isChecked())
        m_installer->state().isPrivateComputerAccepted = false;
}

void KYViewController::privateCheckBoxClicked(QAbstractButton *)
{
    m_ui->publicCheckBoxButton->setChecked(false);
    if (m_ui->privateCheckBoxButton->isChecked())
        m_installer->state().isPrivateComputerAccepted = true;
}

void KYViewController::nextOrBackOrFinishButtonAction(QAbstractButton *sender)
{
    const QString title = sender->text();
    if (title == localized(QStringLiteral("Next")))
        displayPublicOrPrivateView();
    else if (title == localized(QStringLiteral("Back")))
        displayInstallationViewFromLicenseView();
    else if (title == localized(QStringLiteral("Install")))
        initiateInstallation();
    else
        exitApplication(sender);
}

void KYViewController::backButtonActionInPublicPrivateView(QAbstractButton *)
{
    displayInstallationViewFromLicenseView();
}

void KYViewController::showScreen(QWidget *screen)
{
    for (QWidget *view : {m_ui->installationView, m_ui->licenseView, m_ui->publicOrPrivateView,
                          m_ui->installationProgressView, m_ui->installationResultView})
        view->setVisible(view == screen);
}

void KYViewController::displayLicenseView(QAbstractButton *)
{
    m_ui->termsOfServiceButton->setVisible(false);
    showScreen(m_ui->licenseView);
    m_ui->licenseTextView->clear();
    m_ui->cancelButton->setVisible(false);
    setMainButtonTitle(QStringLiteral("Back"));
    m_ui->multipleActionsButton->setEnabled(true);
    showLicenseText();
}

void KYViewController::showLicenseText()
{
    // The licence is HTML, in the user's language when there is one.
    const QString language = QLocale().name().section(QLatin1Char('_'), 0, 0);
    QFile file(QStringLiteral(":/License/License_") + language + QStringLiteral(".html"));
    if (!file.exists())
        file.setFileName(QStringLiteral(":/License/License.html"));
    if (!file.open(QIODevice::ReadOnly)) {
        m_ui->licenseTextView->setPlainText(QStringLiteral("License file missing!"));
        return;
    }
    m_ui->licenseTextView->setHtml(QString::fromUtf8(file.readAll()));
}

void KYViewController::displayInstallationViewFromLicenseView()
{
    showScreen(m_ui->installationView);
    m_ui->termsOfServiceButton->setVisible(true);
    if (!m_ui->checkBoxButton->isChecked())
        m_ui->multipleActionsButton->setEnabled(false);
    setMainButtonTitle(QStringLiteral("Next"));
    m_ui->cancelButton->setVisible(true);
    m_ui->backButton->setEnabled(false);
    m_ui->backButton->setVisible(false);
}

void KYViewController::displayPublicOrPrivateView()
{
    m_ui->termsOfServiceButton->setVisible(false);
    showScreen(m_ui->publicOrPrivateView);
    m_ui->licenseTextView->clear();
    m_ui->cancelButton->setVisible(false);
    setMainButtonTitle(QStringLiteral("Install"));
    m_ui->multipleActionsButton->setEnabled(true);
    m_ui->backButton->setEnabled(true);
    m_ui->backButton->setVisible(true);
}

void KYViewController::initiateInstallation()
{
    m_installer->proceedWithInstallation();
}

void KYViewController::lockInstallationStart()
{
    m_ui->termsOfServiceButton->setVisible(false);
    m_ui->checkBoxButton->setEnabled(false);
}

void KYViewController::setWindowCloseEnabled(bool enabled)
{
    m_windowCloseEnabled = enabled;
}

void KYViewController::displayInstallationInProgressView()
{
    m_ui->termsOfServiceButton->setVisible(false);
    m_ui->termsOfServiceButton->setEnabled(false);
    setImage(m_ui->installationInProgressImageView, localized(QStringLiteral("applicationImage")));
    for (QPushButton *button : {m_ui->cancelButton, m_ui->multipleActionsButton, m_ui->backButton}) {
        button->setVisible(false);
        button->setEnabled(false);
    }
    m_ui->progressInfoLabel->clear();
    showScreen(m_ui->installationProgressView);
    repaint();
}

void KYViewController::setProgressHeadline(const QString &text)
{
    m_ui->installProgressViewBoldLabel->setText(text);
}

void KYViewController::updatesTheInstallationProgressbar()
{
    m_ui->installProgressIndicator->setValue(10);
    if (!isMinimized())
        m_ui->installProgressIndicator->repaint();
}

void KYViewController::displayProgressInfo(const ProgressRecord &record)
{
    m_ui->installProgressIndicator->setValue(int(record.progressValue));
    if (!record.progressString.isEmpty())
        m_ui->progressInfoLabel->setText(record.progressString.trimmed());
}

void KYViewController::displayInstallFinishedView(bool installFailed)
{
    retrieveInstallationLogsToView();
    showScreen(m_ui->installationResultView);
    m_ui->closeButton->setEnabled(true);
    m_ui->closeButton->setVisible(true);
    m_ui->installationResultLabel->setText(localized(installFailed ? QStringLiteral("InstallFailed")
                                                                   : QStringLiteral("InstallSuccessful")));
    m_ui->installationSubResultLabel->setText(localized(installFailed ? QStringLiteral("InstallFailedSubResult")
                                                                      : QStringLiteral("InstallSuccessfulSubResult")));
    setImage(m_ui->installationResultImageView, installFailed ? QStringLiteral("Alert.png") : QStringLiteral("Success.png"));
    m_windowCloseEnabled = true;
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
    m_ui->quitAppWarningSheet->adjustSize();
    m_ui->quitAppWarningSheet->show();
    m_ui->quitAppWarningSheet->raise();
}

void KYViewController::closeEvent(QCloseEvent *event)
{
    // The window manager's close is the close button: refused while busy.
    if (m_delegate && (!m_windowCloseEnabled || !m_delegate->windowShouldClose(this))) {
        event->ignore();
        displayWarningSheetWhenQuittingApplication(this);
        return;
    }
    m_ui->logWindow->close();
    event->accept();
}

void KYViewController::quitAppWarningSheetOKPressed(QAbstractButton *)
{
    m_ui->quitAppWarningSheet->hide();
}

void KYViewController::displayWarningSheet()
{
    m_ui->warningSheetWindow->adjustSize();
    m_ui->warningSheetWindow->show();
}

void KYViewController::warningSheetOKPressed(QAbstractButton *)
{
    m_ui->warningSheetWindow->hide();
    m_installer->proceedWithInstallation();
}

void KYViewController::warningSheetCancelPressed(QAbstractButton *)
{
    m_ui->warningSheetWindow->hide();
}

void KYViewController::displayAppsBusyWarningSheet()
{
    m_ui->appsBusyWarningSheetWindow->adjustSize();
    m_ui->appsBusyWarningSheetWindow->show();
}

void KYViewController::appsBusyWarningSheetCancelPressed(QAbstractButton *)
{
    m_ui->warningSheetTextView->setStyleSheet(QStringLiteral("color: black;"));
    m_ui->appsBusyWarningSheetWindow->hide();
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
    bool captureFound = false;
    m_logFileData = m_installer->log().logFileData(&captureFound);
    if (!captureFound) {
        m_ui->logTextView->setPlainText(captureMissing);
        m_installer->WriteLog(QStringLiteral("Error: Could not find kyr_install.log"));
        return;
    }
    m_ui->logTextView->setPlainText(m_logFileData);
    m_allLinesOfLogFileData = m_logFileData.split(QLatin1Char('\n'));
    if (QFontDatabase::families().contains(QStringLiteral("Arial")))
        m_ui->logTextView->setFont(QFont(QStringLiteral("Arial"), 12));
    QToolBar *toolBar = m_ui->logToolBar;
    const QList<QAction *> existing = toolBar->actions();
    if (!existing.contains(m_searchItem)) {
        toolBar->insertAction(existing.value(1), m_searchItem);
        toolBar->insertAction(toolBar->actions().value(2), m_ui->saveButtonItem);
    }
}

void KYViewController::enableShowLogMenuItem()
{
    m_ui->installerLog->setVisible(true);
    m_ui->installerLog->setEnabled(true);
}

void KYViewController::showInstallationLog(QObject *)
{
    if (m_ui->logWindow->isVisible())
        return;
    m_ui->logWindow->show();
    m_ui->logWindow->raise();
    m_ui->logWindow->activateWindow();
}

void KYViewController::filterLog(QLineEdit *searchField)
{
    m_ui->logTextView->setPlainText(InstallerLog::filterLog(m_logFileData, m_allLinesOfLogFileData, searchField->text()));
}

void KYViewController::showLogFileSavePanel(QObject *)
{
    const QString name = m_savePanel(m_ui->logWindow, m_ui->saveButtonItem->text(),
                                     QStringLiteral("CorvaneTavorenInstaller.log"));
    if (name.isEmpty())
        return;
    QSaveFile file(name);
    const QByteArray bytes = m_logFileData.toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
        m_lastSaveError.clear();
        return;
    }
    m_lastSaveError = KYInstaller::formatted(localized(QStringLiteral("SaveLogFailed")), {name, file.errorString()});
    auto *box = new QMessageBox(QMessageBox::Warning, localized(QStringLiteral("InstallerLog")), m_lastSaveError,
                                QMessageBox::Ok, m_ui->logWindow);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->show();
}

} // namespace tavoren::installer
