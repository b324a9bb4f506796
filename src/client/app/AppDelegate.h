#pragma once

#include "client/core/ClientEnvironment.h"

#include <QAction>
#include <QObject>
#include <QPointer>
#include <QStringList>

namespace tavoren::client {

class Settings;
class Storyboard;

// The application object of the client: its process arguments, the menu
// actions (Preferences, Help, Close), the settings window and termination.
class AppDelegate final : public QObject
{
    Q_OBJECT

public:
    // `arguments` are the process arguments, element 0 the program; every
    // screen takes its platform pieces from `environment`.
    AppDelegate(ClientEnvironment environment, QStringList arguments, QObject *parent = nullptr);
    ~AppDelegate() override;

    const QStringList &arguments() const { return m_arguments; }
    const ClientEnvironment &environment() const { return m_environment; }
    // The storyboard "CorvaneMain" that makes every screen.
    Storyboard &storyboard();

    // The application menu's preferences entry; the screens hide and show it.
    QAction *Preferences() const { return m_preferences; }
    QAction *helpAction() const { return m_help; }
    QAction *closeAction() const { return m_close; }

    // Brings the application to the front with the given window active.
    void applicationDidFinishLaunching(QWidget *window);

    // Opens the settings window, or raises the one already showing.
    void openPreferences();
    Settings *settingsWindow() const;

    void helpUrl();
    void close();
    // Ends the process through the environment's termination; every
    // screen's quit goes here.
    void terminate();

private:
    ClientEnvironment m_environment;
    QStringList m_arguments;
    QPointer<QAction> m_preferences;
    QPointer<QAction> m_help;
    QPointer<QAction> m_close;
    QPointer<Settings> m_settings;
    Storyboard *m_storyboard = nullptr;
    bool m_terminating = false;
};

} // namespace tavoren::client
