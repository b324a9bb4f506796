#pragma once

#include "installer/core/HelperAuthorization.h"

namespace tavoren::installer {

// Root needs no authorisation: the helper in the bundle blesses itself at
// once. Anyone else goes through pkexec, whose exit status 126 (the user
// dismissed the prompt) or 127 (not authorised) is the authorisation's
// error code; any other status is the helper's own.
class PkexecHelperAuthorization final : public HelperAuthorization
{
public:
    // `bundlePath` is the installer's application bundle.
    PkexecHelperAuthorization(QString bundlePath, QString pkexecPath);
    bool isBlessed(const QString &label) const override;
    shared::Expected<void> bless(const QString &label, const std::atomic<bool> &cancel) override;

    // The helper the bundle carries for `label`.
    QString helperInBundle(const QString &label) const;

private:
    QString m_bundlePath;
    QString m_pkexecPath;
};

} // namespace tavoren::installer
