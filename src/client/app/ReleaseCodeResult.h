#pragma once

#include "client/app/Screen.h"
#include "client/core/AdminConfig.h"
#include "client/core/Config.h"

#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>

namespace Ui {
class ReleaseCodeResult;
}

namespace tavoren::client {

// The last screen of a converted job: the release code, the document name
// and the instruction text. A public installation closes it by itself.
class ReleaseCodeResult final : public Screen
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds publicCloseDelay{300};

    explicit ReleaseCodeResult(AppDelegate &appDelegate, QWidget *parent = nullptr);
    ~ReleaseCodeResult() override;

    // Handed over by the upload screen.
    std::optional<QString> docID;
    std::optional<QString> fileNameSegue;

    void Close();
    void locatePrinter();
    // Puts the whole code on the clipboard and says so on the Copy button.
    void copyCode();
    QWidget *mainControl() const override;
    // Running in a public installation from the moment the view is loaded.
    QTimer &closeTimer() { return m_closeTimer; }

protected:
    void loadView() override;
    void viewDidLoad() override;

private:
    void fillLabels();

    Config m_clientConfig;
    AdminConfig m_config;
    QTimer m_closeTimer;
    // Brings the Copy button's own text back after its confirmation.
    QTimer m_copiedTimer;
    std::unique_ptr<Ui::ReleaseCodeResult> m_ui;
};

} // namespace tavoren::client
