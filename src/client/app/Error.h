#pragma once

#include "client/app/Screen.h"

#include <memory>
#include <optional>

namespace Ui {
class Error;
}

namespace tavoren::client {

// The screen of a failed job: the localised message, with the status page
// as a link where the message points to it.
class Error final : public Screen
{
    Q_OBJECT

public:
    explicit Error(AppDelegate &appDelegate, QWidget *parent = nullptr);
    ~Error() override;

    // Handed over by the upload screen; may hold the placeholder "{0}".
    std::optional<QString> errorText;

    void OK();
    void viewDidAppear() override;

protected:
    void loadView() override;
    void viewDidLoad() override;

private:
    std::unique_ptr<Ui::Error> m_ui;
};

} // namespace tavoren::client
