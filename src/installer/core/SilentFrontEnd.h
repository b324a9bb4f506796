#pragma once

#include "installer/core/InstallerFrontEnd.h"

#include <functional>

namespace tavoren::installer {

// Silent mode for administrators: no window. The installation's progress
// lines go to standard output from the core; this front-end only ends the
// program, with status 0 after a successful installation and 1 otherwise.
class SilentFrontEnd final : public InstallerFrontEnd
{
public:
    explicit SilentFrontEnd(std::function<void(int exitStatus)> quit);

    void showPackageFound() override {}
    // Nothing can be installed: the program ends.
    void showPackageMissing(const QString &missingText) override;
    void showDetectionResult(const QString &, const std::optional<QString> &) override {}
    void setDestinationDiskDetails() override {}
    void helperRegistrationFailed() override;
    void lockInstallationStart() override {}
    void setWindowCloseEnabled(bool) override {}
    void displayInstallationInProgressView() override {}
    void setProgressHeadline(const QString &) override {}
    void updatesTheInstallationProgressbar() override {}
    void displayProgressInfo(const ProgressRecord &) override {}
    void displayInstallFinishedView(bool installFailed) override;

private:
    std::function<void(int)> m_quit;
};

} // namespace tavoren::installer
