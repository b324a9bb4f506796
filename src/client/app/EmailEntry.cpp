#include "client/app/EmailEntry.h"

#include "client/app/AppDelegate.h"
#include "client/app/ScreenLook.h"
#include "client/app/Upload.h"
#include "client/core/ConfigFiles.h"
#include "client/core/Constants.h"
#include "client/core/DisplayText.h"
#include "client/core/EmailAddress.h"
#include "ui_EmailEntry.h"

namespace tavoren::client {

EmailEntry::EmailEntry(AppDelegate &appDelegate, QWidget *parent)
    : Screen(appDelegate, parent)
    , m_config(ConfigFiles(appDelegate.environment()).parseAdminConfig())
    , m_clientConfig(ConfigFiles(appDelegate.environment()).parseConfig())
{
}

EmailEntry::~EmailEntry() = default;

void EmailEntry::loadView()
{
    m_ui = std::make_unique<Ui::EmailEntry>();
    m_ui->setupUi(this);
    connect(m_ui->next, &QAbstractButton::clicked, this, &EmailEntry::ownerEmail);
    connect(m_ui->skip, &QAbstractButton::clicked, this, &EmailEntry::skipEmail);
    connect(m_ui->closeButton, &QAbstractButton::clicked, this, &EmailEntry::close);
    // Return in the field reaches the screen, which presses Next when the
    // address is valid.
    ScreenLook::nameClearButton(m_ui->email, qtTrId("clear_email_name"));
    connectPreferences(m_ui->preferences);
}

void EmailEntry::viewDidLoad()
{
    // Only the user's edits count, as with a text field's delegate.
    connect(m_ui->email, &QLineEdit::textEdited, this, &EmailEntry::controlTextDidChange);
    if (!Constants::isPrivateInstall(appDelegate().environment())) {
        setPreferencesVisible(m_ui->preferences, m_ui->preferencesDivider, false);
        if (QAction *preferences = appDelegate().Preferences())
            preferences->setVisible(false);
    }
    if (!m_clientConfig.emailentrytext.isEmpty())
        m_ui->emailEntryText->setText(DisplayText::truncated(m_clientConfig.emailentrytext, m_config.emailentrytextlength));
    // The title names the field (its buddy); the text under it says more.
    m_ui->email->setAccessibleDescription(m_ui->emailEntryText->text());
    m_ui->email->setFocus();
}

QWidget *EmailEntry::mainControl() const
{
    return m_ui ? m_ui->email : nullptr;
}

void EmailEntry::controlTextDidChange()
{
    m_ui->next->setEnabled(EmailAddress::isValid(m_ui->email->text()));
}

void EmailEntry::remember(const QString &address)
{
    if (!EmailAddress::isValid(address) || !Constants::isPrivateInstall(appDelegate().environment()))
        return;
    m_clientConfig.owneremail = address;
    ConfigFiles(appDelegate().environment()).setOwnerEmail(address);
}

void EmailEntry::ownerEmail()
{
    const QString address = m_ui->email->text();
    if (!EmailAddress::isValid(address))
        return;
    remember(address);
    performSegue(Constants::crossfadeSegue);
}

void EmailEntry::skipEmail()
{
    m_ui->email->setText(QString());
    performSegue(Constants::crossfadeSegue);
}

void EmailEntry::close()
{
    appDelegate().terminate();
}

void EmailEntry::prepareForSegue(const QString &identifier, Screen &destination)
{
    m_ui->email->setFocus();
    remember(m_ui->email->text());
    if (identifier != Constants::crossfadeSegue)
        return;
    if (auto *upload = qobject_cast<Upload *>(&destination))
        upload->setOwnerEmail(m_ui->email->text());
}

} // namespace tavoren::client
