#include "client/app/AppDelegate.h"

#include "client/app/Settings.h"
#include "client/app/Storyboard.h"
#include "client/app/UrlOpener.h"
#include "client/core/ConfigFiles.h"
#include "client/core/Constants.h"
#include "client/core/Termination.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace tavoren::client {

AppDelegate::AppDelegate(ClientEnvironment environment, QStringList arguments, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
    , m_arguments(std::move(arguments))
{
    //: Application menu entry that opens the settings window.
    m_preferences = new QAction(qtTrId("menu_preferences"), this);
    m_preferences->setMenuRole(QAction::PreferencesRole);
    // The platform's own key where it has one, Ctrl+, elsewhere.
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Preferences);
    if (const QKeySequence comma(Qt::CTRL | Qt::Key_Comma); !keys.contains(comma))
        keys.append(comma);
    m_preferences->setShortcuts(keys);
    connect(m_preferences, &QAction::triggered, this, &AppDelegate::openPreferences);

    m_help = new QAction(qtTrId("menu_help"), this);
    m_help->setShortcut(QKeySequence::HelpContents);
    connect(m_help, &QAction::triggered, this, &AppDelegate::helpUrl);

    m_close = new QAction(qtTrId("menu_close"), this);
    m_close->setMenuRole(QAction::QuitRole);
    m_close->setShortcut(QKeySequence::Quit);
    connect(m_close, &QAction::triggered, this, &AppDelegate::close);
}

AppDelegate::~AppDelegate()
{
    delete m_settings;
}

Storyboard &AppDelegate::storyboard()
{
    if (!m_storyboard)
        m_storyboard = new Storyboard(Constants::Main, *this, this);
    return *m_storyboard;
}

void AppDelegate::applicationDidFinishLaunching(QWidget *window)
{
    if (!window)
        return;
    window->raise();
    window->activateWindow();
}

void AppDelegate::openPreferences()
{
    // One settings window at a time: a second request brings it forward.
    if (m_settings && m_settings->isVisible()) {
        m_settings->raise();
        m_settings->activateWindow();
        return;
    }
    delete m_settings;
    m_settings = qobject_cast<Settings *>(storyboard().instantiateController(Storyboard::settingsViewController));
    if (!m_settings)
        return;
    m_settings->setAttribute(Qt::WA_DeleteOnClose);
    m_settings->show();
}

Settings *AppDelegate::settingsWindow() const
{
    return m_settings;
}

void AppDelegate::helpUrl()
{
    UrlOpener::open(ConfigFiles(m_environment).parseAdminConfig().helpurl, m_environment);
}

void AppDelegate::close()
{
    terminate();
}

void AppDelegate::terminate()
{
    if (m_terminating)
        return;
    m_terminating = true;
    if (m_environment.termination)
        m_environment.termination->terminate();
}

} // namespace tavoren::client
