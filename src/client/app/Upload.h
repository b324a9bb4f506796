#pragma once

#include "client/app/Screen.h"
#include "client/core/UploadFrontEnd.h"
#include "client/core/UploadJob.h"

#include <memory>

namespace Ui {
class Upload;
}

namespace tavoren::client {

// The upload screen: shows the job's progress and owner address and leaves
// to the release code or the error screen. The job itself is the UploadJob
// it owns, so the screen only turns the job's reports into widgets.
class Upload final : public Screen, public UploadFrontEnd
{
    Q_OBJECT

public:
    explicit Upload(AppDelegate &appDelegate, QWidget *parent = nullptr);
    ~Upload() override;

    // Set by the e-mail entry screen before this screen is shown.
    void setOwnerEmail(const QString &ownerEmail);
    const QString &ownerEmail() const { return m_ownerEmail; }
    UploadJob &job() { return *m_job; }

    void cancel();
    void viewWillAppear() override;
    void viewDidDisappear() override;
    void prepareForSegue(const QString &identifier, Screen &destination) override;

    // What the job reports.
    void setProgress(int percent) override;
    void setIndeterminate(bool indeterminate) override;
    void setCancelEnabled(bool enabled) override;
    void showReleaseCode(const QString &docID, const QString &fileName) override;
    void showError(const QString &errorText) override;
    void quit() override;

protected:
    void loadView() override;
    void viewDidLoad() override;

private:
    void showOwnerAddress();

    std::unique_ptr<UploadJob> m_job;
    std::unique_ptr<Ui::Upload> m_ui;
    QString m_ownerEmail;
    QString m_docID;
    QString m_fileName;
    QString m_errorText;
};

} // namespace tavoren::client
