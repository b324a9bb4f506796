#pragma once

#include "client/app/Screen.h"
#include "client/core/AdminConfig.h"
#include "client/core/Config.h"

#include <memory>

namespace Ui {
class Settings;
}

namespace tavoren::client {

// The settings window of a private installation: view, change or clear the
// remembered owner address; links to the privacy policy and terms of use.
class Settings final : public Screen
{
    Q_OBJECT

public:
    explicit Settings(AppDelegate &appDelegate, QWidget *parent = nullptr);
    ~Settings() override;

    // True from the moment a settings window has appeared until it disappears.
    static bool checkLaunch;

    void controlTextDidChange();
    void ok();
    void emailEnter();
    void apply();
    void cancel();
    void Privacy();
    void Terms();

    void viewWillAppear() override;
    void viewDidAppear() override;
    void viewDidDisappear() override;
    QWidget *mainControl() const override;

protected:
    void loadView() override;
    void viewDidLoad() override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void save();

    AdminConfig m_config;
    Config m_clientConfig;
    std::unique_ptr<Ui::Settings> m_ui;
};

} // namespace tavoren::client
