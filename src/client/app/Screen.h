#pragma once

#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace tavoren::client {

class AppDelegate;
class Storyboard;
class ViewController;

// A screen of the client window, made by the storyboard. Its widgets are
// built when its view is first needed (view loaded); the root controller
// calls the appearance steps as it shows and replaces screens.
class Screen : public QWidget
{
    Q_OBJECT

public:
    explicit Screen(AppDelegate &appDelegate, QWidget *parent = nullptr);

    const QString &identifier() const { return m_identifier; }
    void setIdentifier(const QString &identifier) { m_identifier = identifier; }
    void setStoryboard(Storyboard *storyboard);
    Storyboard *storyboard() const;
    void setParentViewController(ViewController *parent);
    ViewController *parentViewController() const;

    void loadViewIfNeeded();

    virtual void viewWillAppear() {}
    virtual void viewDidAppear() {}
    virtual void viewDidDisappear() {}
    // The hand-over to the next screen, before the transition runs.
    virtual void prepareForSegue(const QString &identifier, Screen &destination);

    // Performs a storyboard transition: hand-over first, then the transition.
    void performSegue(const QString &identifier);

    // The button Return presses wherever the focus is on the screen: the
    // one the resource marks default.
    QPushButton *defaultButton() const { return m_defaultButton; }
    // Presses the default button when it is shown and enabled.
    bool pressDefaultButton();
    // What has the focus when the screen opens; the default button unless
    // the screen has a better one.
    virtual QWidget *mainControl() const;
    // The main control takes the focus, or the default button when the
    // main control is hidden or disabled.
    void focusMainControl();

protected:
    AppDelegate &appDelegate() const { return m_appDelegate; }
    // Builds the widgets from the screen's resource.
    virtual void loadView() = 0;
    virtual void viewDidLoad() {}
    // Return presses the default button unless the focused control took it.
    void keyPressEvent(QKeyEvent *event) override;
    // Makes a preferences button open the settings window.
    void connectPreferences(QWidget *button);
    // The preferences button and its divider are for private installations.
    static void setPreferencesVisible(QWidget *button, QWidget *divider, bool visible);

private:
    void prepareForKeyboard();

    AppDelegate &m_appDelegate;
    QString m_identifier;
    QPointer<Storyboard> m_storyboard;
    QPointer<ViewController> m_parentViewController;
    QPointer<QPushButton> m_defaultButton;
    bool m_viewLoaded = false;
};

} // namespace tavoren::client
