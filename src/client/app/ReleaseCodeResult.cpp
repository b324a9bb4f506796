#include "client/app/ReleaseCodeResult.h"

#include "client/app/AppDelegate.h"
#include "client/app/UrlOpener.h"
#include "client/core/ConfigFiles.h"
#include "client/core/Constants.h"
#include "client/core/DisplayText.h"
#include "ui_ReleaseCodeResult.h"

namespace tavoren::client {

ReleaseCodeResult::ReleaseCodeResult(AppDelegate &appDelegate, QWidget *parent)
    : Screen(appDelegate, parent)
{
    m_closeTimer.setSingleShot(true);
    m_closeTimer.setInterval(publicCloseDelay);
    connect(&m_closeTimer, &QTimer::timeout, this, &ReleaseCodeResult::Close);
}

ReleaseCodeResult::~ReleaseCodeResult() = default;

void ReleaseCodeResult::loadView()
{
    m_ui = std::make_unique<Ui::ReleaseCodeResult>();
    m_ui->setupUi(this);
    connect(m_ui->closeButton, &QAbstractButton::clicked, this, &ReleaseCodeResult::Close);
    connect(m_ui->locatePrinter, &QAbstractButton::clicked, this, &ReleaseCodeResult::locatePrinter);
    connectPreferences(m_ui->preferences);
}

void ReleaseCodeResult::viewDidLoad()
{
    m_clientConfig = ConfigFiles(appDelegate().environment()).parseConfig();
    // The printer locator is the installation's own address; without one
    // the button would do nothing, so it is not offered.
    m_config = ConfigFiles(appDelegate().environment()).parseAdminConfig();
    m_ui->locatePrinter->setVisible(UrlOpener::isOpenable(m_config.locateprinter));

    const bool isPrivate = Constants::isPrivateInstall(appDelegate().environment());
    if (!isPrivate)
        setPreferencesVisible(m_ui->preferences, m_ui->preferencesDivider, false);
    QTimer::singleShot(0, this, &ReleaseCodeResult::fillLabels);
    if (!isPrivate)
        m_closeTimer.start();
}

void ReleaseCodeResult::fillLabels()
{
    // An empty text leaves the resource's instructions in place.
    if (!m_clientConfig.releasecodetext.isEmpty()) {
        m_ui->releaseCodeText->setText(
            DisplayText::truncated(m_clientConfig.releasecodetext, m_config.releasecodetextlength));
    }
    m_ui->releaseCode->setText(DisplayText::releaseCode(docID.value_or(QString())));
    m_ui->fileName->setText(DisplayText::documentName(fileNameSegue.value_or(QString())));
}

void ReleaseCodeResult::Close()
{
    appDelegate().terminate();
}

void ReleaseCodeResult::locatePrinter()
{
    UrlOpener::open(m_config.locateprinter, appDelegate().environment());
}

} // namespace tavoren::client
