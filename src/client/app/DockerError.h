#pragma once

#include "client/app/Screen.h"
#include "client/core/AttributedText.h"

#include <memory>

namespace Ui {
class DockerError;
}

namespace tavoren::shared {
class StringTable;
}

namespace tavoren::client {

// The first screen of a client opened without a job: how to print instead.
class DockerError final : public Screen
{
    Q_OBJECT

public:
    explicit DockerError(AppDelegate &appDelegate, QWidget *parent = nullptr);
    ~DockerError() override;

    // The template with "{0}" to "{5}" filled in and the key texts in bold.
    static AttributedText instructions(const QString &templateText, const shared::StringTable &strings);

    void quit();

protected:
    void loadView() override;
    void viewDidLoad() override;

private:
    std::unique_ptr<Ui::DockerError> m_ui;
};

} // namespace tavoren::client
