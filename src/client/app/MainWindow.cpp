#include "client/app/MainWindow.h"

#include "client/app/AppDelegate.h"
#include "client/app/ViewController.h"
#include "shared/widgets/FocusMark.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QTimer>

namespace tavoren::client {

MainWindow::MainWindow(AppDelegate &appDelegate, QWidget *parent)
    : QMainWindow(parent)
    , m_appDelegate(appDelegate)
    , m_viewController(new ViewController(appDelegate, this))
{
    setCentralWidget(m_viewController);
    setWindowTitle(m_viewController->windowTitle());
    // The style draws focus marks only once the keyboard has moved the
    // focus; here they show from the start, so no one has to find the focus.
    setAttribute(Qt::WA_KeyboardFocusChange);
    new shared::FocusMark(this);

    QMenu *application = menuBar()->addMenu(qtTrId("menu_application"));
    application->addAction(appDelegate.Preferences());
    application->addSeparator();
    application->addAction(appDelegate.closeAction());
    QMenu *help = menuBar()->addMenu(qtTrId("menu_help_title"));
    help->addAction(appDelegate.helpAction());
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_loaded)
        return;
    m_loaded = true;
    QTimer::singleShot(0, this, &MainWindow::windowDidLoad);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    // The main window is the application: closing it ends the process even
    // while the settings window is open.
    m_appDelegate.terminate();
}

void MainWindow::windowDidLoad()
{
    activateWindow();
}

} // namespace tavoren::client
