#pragma once

#include "client/app/Screen.h"
#include "client/core/AdminConfig.h"
#include "client/core/Config.h"

#include <memory>

namespace Ui {
class EmailEntry;
}

namespace tavoren::client {

// Asks for the job owner's e-mail address, checks its form while the user
// types, remembers it in a private installation and hands it to the upload.
class EmailEntry final : public Screen
{
    Q_OBJECT

public:
    explicit EmailEntry(AppDelegate &appDelegate, QWidget *parent = nullptr);
    ~EmailEntry() override;

    void controlTextDidChange();
    void ownerEmail();
    void skipEmail();
    void close();
    void prepareForSegue(const QString &identifier, Screen &destination) override;
    QWidget *mainControl() const override;

    const Config &clientConfig() const { return m_clientConfig; }

protected:
    void loadView() override;
    void viewDidLoad() override;

private:
    void remember(const QString &address);

    AdminConfig m_config;
    Config m_clientConfig;
    std::unique_ptr<Ui::EmailEntry> m_ui;
};

} // namespace tavoren::client
