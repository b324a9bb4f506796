#include "client/app/Screen.h"

#include "client/app/AppDelegate.h"
#include "client/app/Storyboard.h"
#include "client/app/ViewController.h"

#include "client/app/ScreenLook.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace tavoren::client {

Screen::Screen(AppDelegate &appDelegate, QWidget *parent)
    : QWidget(parent)
    , m_appDelegate(appDelegate)
{
}

void Screen::setStoryboard(Storyboard *storyboard)
{
    m_storyboard = storyboard;
}

Storyboard *Screen::storyboard() const
{
    return m_storyboard;
}

void Screen::setParentViewController(ViewController *parent)
{
    m_parentViewController = parent;
}

ViewController *Screen::parentViewController() const
{
    return m_parentViewController;
}

void Screen::loadViewIfNeeded()
{
    if (m_viewLoaded)
        return;
    m_viewLoaded = true;
    loadView();
    prepareForKeyboard();
    viewDidLoad();
}

void Screen::prepareForKeyboard()
{
    // Read before any focus moves: an auto-default button takes the default
    // mark while it has the focus and drops it after.
    const QList<QPushButton *> buttons = findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->isDefault() && !m_defaultButton)
            m_defaultButton = button;
    }
    // Return on a focused button presses that button, as in a dialog.
    for (QPushButton *button : buttons)
        button->setAutoDefault(true);
    const QList<QLineEdit *> fields = findChildren<QLineEdit *>();
    for (QLineEdit *field : fields)
        ScreenLook::makePlaceholderReadable(field);
}

bool Screen::pressDefaultButton()
{
    if (!m_defaultButton || !m_defaultButton->isVisible() || !m_defaultButton->isEnabled())
        return false;
    m_defaultButton->click();
    return true;
}

QWidget *Screen::mainControl() const
{
    return m_defaultButton;
}

void Screen::focusMainControl()
{
    const auto usable = [this](const QWidget *widget) {
        return widget && widget->isVisibleTo(this) && widget->isEnabled() && widget->focusPolicy() != Qt::NoFocus;
    };
    QWidget *target = mainControl();
    if (!usable(target))
        target = m_defaultButton;
    if (!usable(target))
        return;
    // Hiding the screen before may have moved the focus here already; a
    // screen reader still hears the control the screen opens on, as it is now.
    if (target->hasFocus()) {
        QAccessibleEvent focus(target, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
        return;
    }
    // Tab's reason: the style shows the focus mark, as after a Tab.
    target->setFocus(Qt::TabFocusReason);
}

void Screen::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && pressDefaultButton()) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Screen::prepareForSegue(const QString &, Screen &)
{
}

void Screen::performSegue(const QString &identifier)
{
    if (m_storyboard)
        m_storyboard->performSegue(*this, identifier);
}

void Screen::connectPreferences(QWidget *button)
{
    if (auto *clickable = qobject_cast<QAbstractButton *>(button))
        connect(clickable, &QAbstractButton::clicked, &m_appDelegate, &AppDelegate::openPreferences);
}

void Screen::setPreferencesVisible(QWidget *button, QWidget *divider, bool visible)
{
    if (button)
        button->setVisible(visible);
    if (divider)
        divider->setVisible(visible);
}

} // namespace tavoren::client
