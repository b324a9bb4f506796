#pragma once

#include <QString>
#include <atomic>
#include <memory>

namespace tavoren::installer {

// Authorises and installs (blesses) the privileged helper tool that the
// installer's bundle carries, and starts it. One implementation per platform.
class HelperAuthorization
{
public:
    struct Outcome
    {
        // Authorisation was refused or failed; `status` is its error code.
        bool authorized = false;
        int status = 0;
        // Authorised, and the helper now serves.
        bool blessed = false;
        // Why blessing failed, once authorised.
        QString error;
    };

    virtual ~HelperAuthorization() = default;
    // Blocks until the user has answered and the helper is serving or has
    // failed; returns early (not blessed) when `cancel` is set.
    virtual Outcome bless(const QString &label, const std::atomic<bool> &cancel) = 0;
};

} // namespace tavoren::installer
