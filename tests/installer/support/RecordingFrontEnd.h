#pragma once

#include "installer/core/InstallerFrontEnd.h"

#include <QStringList>

namespace tavoren::testsupport {

// The installer core's front-end as a list: every call one line, in order.
class RecordingFrontEnd final : public installer::InstallerFrontEnd
{
public:
    QStringList calls;

    // The installation has ended, either way.
    bool finished() const;

    void showPackageFound() override;
    void showPackageMissing(const QString &text) override;
    void showDetectionResult(const QString &label, const std::optional<QString> &warning) override;
    void setDestinationDiskDetails() override;
    void helperRegistrationFailed() override;
    void lockInstallationStart() override;
    void setWindowCloseEnabled(bool enabled) override;
    void displayInstallationInProgressView() override;
    void setProgressHeadline(const QString &text) override;
    void updatesTheInstallationProgressbar() override;
    void displayProgressInfo(const ProgressRecord &record) override;
    void displayInstallFinishedView(bool failed) override;
};

} // namespace tavoren::testsupport
