#include "client/app/Settings.h"

#include "client/app/AppDelegate.h"
#include "client/app/ScreenLook.h"
#include "client/app/UrlOpener.h"
#include "client/core/ConfigFiles.h"
#include "client/core/EmailAddress.h"
#include "shared/widgets/FocusMark.h"
#include "ui_Settings.h"

#include <QHideEvent>
#include <QKeyEvent>
#include <QTimer>

namespace tavoren::client {

bool Settings::checkLaunch = false;

Settings::Settings(AppDelegate &appDelegate, QWidget *parent)
    : Screen(appDelegate, parent)
    , m_config(ConfigFiles(appDelegate.environment()).parseAdminConfig())
    , m_clientConfig(ConfigFiles(appDelegate.environment()).parseConfig())
{
    // A window of its own, built when it is made.
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_KeyboardFocusChange);
    loadViewIfNeeded();
    new shared::FocusMark(this);
}

Settings::~Settings()
{
    if (isVisible())
        checkLaunch = false;
}

void Settings::loadView()
{
    m_ui = std::make_unique<Ui::Settings>();
    m_ui->setupUi(this);
    connect(m_ui->ok, &QAbstractButton::clicked, this, &Settings::ok);
    connect(m_ui->apply, &QAbstractButton::clicked, this, &Settings::apply);
    connect(m_ui->cancel, &QAbstractButton::clicked, this, &Settings::cancel);
    connect(m_ui->privacy, &QAbstractButton::clicked, this, &Settings::Privacy);
    connect(m_ui->terms, &QAbstractButton::clicked, this, &Settings::Terms);
    // Return in the field reaches the window as any Return does: OK, when
    // the address is acceptable.
    ScreenLook::nameClearButton(m_ui->email, qtTrId("clear_email_name"));
    m_ui->email->setAccessibleDescription(m_ui->emailHint->text());
}

void Settings::viewDidLoad()
{
    ScreenLook::showImage(m_ui->tavorenLogoBig, m_clientConfig.tavorenlogobig, appDelegate().environment().systemLog);
    m_ui->email->setText(m_clientConfig.owneremail);
    connect(m_ui->email, &QLineEdit::textEdited, this, &Settings::controlTextDidChange);
}

void Settings::showEvent(QShowEvent *event)
{
    Screen::showEvent(event);
    viewWillAppear();
    QTimer::singleShot(0, this, &Settings::viewDidAppear);
}

void Settings::hideEvent(QHideEvent *event)
{
    Screen::hideEvent(event);
    // Minimising hides the window without it going away.
    if (!event->spontaneous())
        viewDidDisappear();
}

void Settings::viewWillAppear()
{
    ScreenLook::paintWhite(this);
}

void Settings::viewDidAppear()
{
    if (!isVisible())
        return;
    setFixedSize(size());
    checkLaunch = true;
    focusMainControl();
}

QWidget *Settings::mainControl() const
{
    return m_ui->email;
}

void Settings::keyPressEvent(QKeyEvent *event)
{
    // A window that asks: Escape leaves it as Cancel does.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        m_ui->cancel->click();
        return;
    }
    Screen::keyPressEvent(event);
}

void Settings::viewDidDisappear()
{
    checkLaunch = false;
}

void Settings::controlTextDidChange()
{
    const bool acceptable = EmailAddress::isAcceptable(m_ui->email->text());
    m_ui->ok->setEnabled(acceptable);
    m_ui->apply->setEnabled(acceptable);
}

void Settings::save()
{
    // The buttons carry the rule; a save stores the text as it stands.
    m_clientConfig.owneremail = m_ui->email->text();
    ConfigFiles(appDelegate().environment()).setOwnerEmail(m_clientConfig.owneremail);
}

void Settings::ok()
{
    emailEnter();
}

void Settings::emailEnter()
{
    save();
    close();
}

void Settings::apply()
{
    save();
    m_ui->apply->setEnabled(false);
}

void Settings::cancel()
{
    close();
}

void Settings::Privacy()
{
    UrlOpener::open(m_config.privacypolicy, appDelegate().environment());
}

void Settings::Terms()
{
    UrlOpener::open(m_config.termsofuse, appDelegate().environment());
}

} // namespace tavoren::client
