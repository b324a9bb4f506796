#pragma once

#include <QMainWindow>

namespace tavoren::client {

class AppDelegate;
class ViewController;

// The client's single window: the menus and the root view controller.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppDelegate &appDelegate, QWidget *parent = nullptr);

    ViewController &viewController() const { return *m_viewController; }
    // Makes the window the key window once it is shown.
    void windowDidLoad();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    AppDelegate &m_appDelegate;
    ViewController *m_viewController;
    bool m_loaded = false;
};

} // namespace tavoren::client
