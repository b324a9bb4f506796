#pragma once

#include <QString>
#include <optional>

namespace tavoren::installer {

// What the installer core shows: the installer window, or nothing at all in
// silent mode. Every call comes on the main thread.
class InstallerFrontEnd
{
public:
    // A progress report: the bar's value (0 to 100) and a phase text; an
    // empty text leaves the current one.
    struct ProgressRecord
    {
        double progressValue = 0;
        QString progressString;
    };

    virtual ~InstallerFrontEnd() = default;

    // Detection: the package was found (product image, arrow, spinner
    // turning), or it is missing (red text, alert image, spinner stopped).
    virtual void showPackageFound() = 0;
    virtual void showPackageMissing(const QString &missingText) = 0;
    // Detection ended: the product label, the previous-version warning when
    // a version is installed; the spinner stops and the terms may be accepted.
    virtual void showDetectionResult(const QString &productLabel, const std::optional<QString> &warning) = 0;
    // The free space of the destination (not in silent mode).
    virtual void setDestinationDiskDetails() = 0;

    // The helper tool could not be registered: the installation does not
    // start and the screen stays as it was.
    virtual void helperRegistrationFailed() = 0;
    // The installation starts: the terms can no longer change, the window
    // cannot be closed until the result.
    virtual void lockInstallationStart() = 0;
    virtual void setWindowCloseEnabled(bool enabled) = 0;
    virtual void displayInstallationInProgressView() = 0;
    // The bold label above the bar.
    virtual void setProgressHeadline(const QString &text) = 0;
    // The bar starts animating at 10 (the installation waits for it).
    virtual void updatesTheInstallationProgressbar() = 0;
    virtual void displayProgressInfo(const ProgressRecord &record) = 0;
    // The installation has ended, successfully or not.
    virtual void displayInstallFinishedView(bool installFailed) = 0;
};

} // namespace tavoren::installer
