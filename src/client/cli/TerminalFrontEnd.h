#pragma once

#include "client/core/UploadFrontEnd.h"

#include <QString>
#include <cstdio>

namespace tavoren::client {

// Shows a job on a terminal: progress on standard error (a bar on a
// terminal, a line every ten percent otherwise), the release code on
// standard output, the error text on standard error.
class TerminalFrontEnd final : public UploadFrontEnd
{
public:
    enum ExitCode { Converted = 0, Failed = 1, Quit = 2 };

    TerminalFrontEnd(std::FILE *out, std::FILE *err);
    // Put in place of the status-page placeholder of error texts.
    void setStatusPageUrl(const QString &url) { m_statusPageUrl = url; }

    void setProgress(int percent) override;
    void setIndeterminate(bool indeterminate) override;
    void setCancelEnabled(bool enabled) override;
    void showReleaseCode(const QString &docID, const QString &fileName) override;
    void showError(const QString &errorText) override;
    void quit() override;

    bool cancelEnabled() const { return m_cancelEnabled; }

private:
    void endProgressLine();

    std::FILE *m_out;
    std::FILE *m_err;
    QString m_statusPageUrl;
    bool m_interactive;
    bool m_cancelEnabled = true;
    bool m_progressShown = false;
    int m_lastReported = -1;
};

} // namespace tavoren::client
