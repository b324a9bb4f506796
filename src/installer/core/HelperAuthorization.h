#pragma once

#include "shared/Expected.h"

#include <QString>
#include <atomic>

namespace tavoren::installer {

// Authorises and installs (blesses) the privileged helper tool that the
// installer's bundle carries, and starts it. One implementation per platform.
class HelperAuthorization
{
public:
    // Authorisation was refused or failed: the Error's text is the
    // platform's error code, a number.
    static constexpr const char *authorizeAction = "authorize";
    // Authorised, but the helper could not be blessed: the text says why.
    static constexpr const char *blessAction = "bless";

    virtual ~HelperAuthorization() = default;
    // Whether the helper tool labelled `label` is in place, blessed.
    virtual bool isBlessed(const QString &label) const = 0;
    // Blocks until the user has answered and the helper is serving or has
    // failed; returns early (refused) when `cancel` is set.
    virtual shared::Expected<void> bless(const QString &label, const std::atomic<bool> &cancel) = 0;
};

} // namespace tavoren::installer
