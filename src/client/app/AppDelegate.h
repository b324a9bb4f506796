#pragma once

#include <QAction>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

namespace tavoren::client {

class Settings;
class Storyboard;

// The application object of the client: its process arguments, the menu
// actions (Preferences, Help, Close), the settings window and termination.
class AppDelegate final : public QObject
{
    Q_OBJECT

public:
    // `arguments` are the process arguments, element 0 the program.
    explicit AppDelegate(QStringList arguments, QObject *parent = nullptr);
    ~AppDelegate() override;

    const QStringList &arguments() const { return m_arguments; }
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
    // Ends the process after the current event; every screen's quit goes here.
    void terminate();
    bool isTerminating() const { return m_terminating; }

    // What terminate does (tests record it instead of ending the process).
    void setTerminateHandler(std::function<void()> handler) { m_terminateHandler = std::move(handler); }

private:
    QStringList m_arguments;
    QPointer<QAction> m_preferences;
    QPointer<QAction> m_help;
    QPointer<QAction> m_close;
    QPointer<Settings> m_settings;
    Storyboard *m_storyboard = nullptr;
    std::function<void()> m_terminateHandler;
    bool m_terminating = false;
};

} // namespace tavoren::client
