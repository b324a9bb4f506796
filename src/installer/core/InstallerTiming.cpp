#include "installer/core/InstallerTiming.h"

#include "shared/EnvironmentSetting.h"

#include <optional>

namespace tavoren::installer {

namespace {
constexpr std::chrono::seconds longest = std::chrono::hours(24 * 365);

// A whole number of `Unit` from 0 up to a year; none when unset or not such
// a number. The cap keeps a deadline from overflowing the clock's count.
template <typename Unit>
std::optional<Unit> setting(const char *name)
{
    const auto most = std::chrono::duration_cast<Unit>(longest).count();
    const auto number = shared::EnvironmentSetting::wholeNumber(name, 0, most);
    if (!number)
        return std::nullopt;
    return Unit(*number);
}
} // namespace

InstallerTiming InstallerTiming::fromEnvironment()
{
    using std::chrono::milliseconds;
    using std::chrono::seconds;
    InstallerTiming timing;
    if (const auto poll = setting<milliseconds>("TAVOREN_INSTALLER_POLL_MS"))
        timing.pollInterval = *poll;
    if (const auto wait = setting<milliseconds>("TAVOREN_INSTALLER_WAIT_MS")) {
        timing.missingProgressFileWait = *wait;
        timing.uninstallCompletePause = *wait;
    }
    if (const auto stall = setting<seconds>("TAVOREN_INSTALLER_STALL_SECONDS"))
        timing.stallTimeout = *stall;
    if (const auto reply = setting<seconds>("TAVOREN_INSTALLER_REPLY_SECONDS"))
        timing.helperReplyTimeout = *reply;
    return timing;
}

} // namespace tavoren::installer
