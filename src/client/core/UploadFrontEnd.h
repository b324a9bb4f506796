#pragma once

#include <QString>

namespace tavoren::client {

// What the job runner asks of whatever shows the job: the Upload screen, or
// the command-line front-end. Every call comes on the UI thread.
class UploadFrontEnd
{
public:
    virtual ~UploadFrontEnd() = default;

    // Percent of the body sent, 0 to 100.
    virtual void setProgress(int percent) = 0;
    // Indeterminate (animated) while waiting, determinate while sending.
    virtual void setIndeterminate(bool indeterminate) = 0;
    virtual void setCancelEnabled(bool enabled) = 0;
    // The job is converted: the release code screen with both values.
    virtual void showReleaseCode(const QString &docID, const QString &fileName) = 0;
    // The job failed: the error screen with the localised text.
    virtual void showError(const QString &errorText) = 0;
    // The application ends (no job, a malformed job, or Cancel).
    virtual void quit() = 0;
};

} // namespace tavoren::client
