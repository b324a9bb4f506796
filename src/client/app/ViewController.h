#pragma once

#include "client/app/Screen.h"
#include "client/core/AdminConfig.h"
#include "client/core/ClientEnvironment.h"
#include "client/core/Config.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <memory>

namespace Ui {
class ViewController;
}

namespace tavoren::client {

class AppDelegate;

// The root of the client window: logos and legal links around the current
// screen of the job, which it holds as its only child (index 0).
class ViewController final : public QWidget
{
    Q_OBJECT

public:
    explicit ViewController(AppDelegate &appDelegate, QWidget *parent = nullptr);
    ~ViewController() override;

    // The identifier of the first screen for these process arguments.
    static QString firstScreenIdentifier(const ClientEnvironment &environment, const QStringList &arguments,
                                         const Config &clientConfig);

    void viewDidLoad();
    void viewWillAppear();

    int childCount() const { return int(m_children.size()); }
    Screen *childAt(int index) const { return m_children.value(index); }
    Screen *currentScreen() const { return childAt(0); }
    void insertChild(Screen *screen, int index);
    void removeChildAt(int index);
    // Shows `to` in place of `from` with a cross-fade.
    void transition(Screen *from, Screen *to);

    void Privacy();
    void Terms();

    const AdminConfig &config() const { return m_config; }
    const Config &clientConfig() const { return m_clientConfig; }

signals:
    // A screen has appeared and its main control has the focus, which a
    // screen reader has been told of (the focus event).
    void screenOpened(tavoren::client::Screen *screen);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void placeLogos();
    void layOutChildren();

    AppDelegate &m_appDelegate;
    AdminConfig m_config;
    Config m_clientConfig;
    std::unique_ptr<Ui::ViewController> m_ui;
    QList<QPointer<Screen>> m_children;
    bool m_appeared = false;
};

} // namespace tavoren::client
