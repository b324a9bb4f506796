#include "client/app/Screen.h"

#include "client/app/AppDelegate.h"
#include "client/app/Storyboard.h"
#include "client/app/ViewController.h"

#include <QAbstractButton>

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
    viewDidLoad();
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
