#include "client/app/Upload.h"

#include "client/app/AppDelegate.h"
#include "client/app/Error.h"
#include "client/app/ReleaseCodeResult.h"
#include "client/core/AttributedText.h"
#include "client/core/Constants.h"
#include "client/core/Log.h"
#include "ui_Upload.h"

#include <QTimer>

namespace tavoren::client {

Upload::Upload(AppDelegate &appDelegate, QWidget *parent)
    : Screen(appDelegate, parent)
    , m_job(std::make_unique<UploadJob>(*this, appDelegate.environment()))
{
}

Upload::~Upload()
{
    // The job goes first: nothing it still has queued may reach the widgets.
    m_job.reset();
}

void Upload::setOwnerEmail(const QString &ownerEmail)
{
    m_ownerEmail = ownerEmail;
    m_job->setOwnerEmail(ownerEmail);
}

void Upload::loadView()
{
    m_ui = std::make_unique<Ui::Upload>();
    m_ui->setupUi(this);
    // Laid out hidden: it shows only with an address in it.
    m_ui->ownerEmailString->hide();
    m_ui->progressBar->setRange(0, 100);
    connect(m_ui->cancelOutlet, &QAbstractButton::clicked, this, &Upload::cancel);
    connectPreferences(m_ui->preferences);
}

void Upload::viewDidLoad()
{
    m_job->start(appDelegate().arguments());
}

void Upload::viewWillAppear()
{
    if (appDelegate().arguments().size() <= 1) {
        Log(appDelegate().environment().systemLog, LogLevel::Debug, QString(), QStringLiteral("Trying to launch from the doc or app"));
        quit();
        return;
    }
    if (QAction *preferences = appDelegate().Preferences())
        preferences->setVisible(false);
    QTimer::singleShot(0, this, &Upload::showOwnerAddress);
}

void Upload::showOwnerAddress()
{
    const QString address = m_job->ownerAddress();
    AttributedText text(m_ui->ownerEmailString->text().replace(QStringLiteral("{0}"), address + QLatin1Char('.')));
    text.setCentred(true);
    text.colourFirst(address, AttributedText::blue);
    if (!address.isEmpty()) {
        m_ui->ownerEmailString->setText(text.toHtml());
        m_ui->ownerEmailString->show();
    }
    if (!Constants::isPrivateInstall(appDelegate().environment()))
        setPreferencesVisible(m_ui->preferences, m_ui->preferencesDivider, false);
}

void Upload::viewDidDisappear()
{
    if (Constants::isPrivateInstall(appDelegate().environment())) {
        if (QAction *preferences = appDelegate().Preferences())
            preferences->setVisible(true);
    }
}

void Upload::cancel()
{
    m_job->cancel();
}

void Upload::setProgress(int percent)
{
    if (m_ui)
        m_ui->progressBar->setValue(percent);
}

void Upload::setIndeterminate(bool indeterminate)
{
    if (!m_ui)
        return;
    if (indeterminate)
        m_ui->progressBar->setRange(0, 0);
    else
        m_ui->progressBar->setRange(0, 100);
}

void Upload::setCancelEnabled(bool enabled)
{
    if (m_ui)
        m_ui->cancelOutlet->setEnabled(enabled);
}

void Upload::showReleaseCode(const QString &docID, const QString &fileName)
{
    m_docID = docID;
    m_fileName = fileName;
    performSegue(Constants::releaseCodeSegue);
}

void Upload::showError(const QString &errorText)
{
    m_errorText = errorText;
    performSegue(Constants::errorSegue);
}

void Upload::quit()
{
    appDelegate().terminate();
}

void Upload::prepareForSegue(const QString &identifier, Screen &destination)
{
    if (identifier == Constants::releaseCodeSegue) {
        if (auto *result = qobject_cast<ReleaseCodeResult *>(&destination)) {
            result->docID = m_docID;
            result->fileNameSegue = m_fileName;
        }
    } else if (identifier == Constants::errorSegue) {
        if (auto *error = qobject_cast<Error *>(&destination))
            error->errorText = m_errorText;
    }
}

} // namespace tavoren::client
