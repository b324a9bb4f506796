#include "installer/core/InstallerTiming.h"

#include <QByteArray>
#include <QtGlobal>
#include <optional>

namespace tavoren::installer {

namespace {
// A whole number from 0 up, none when unset or not such a number.
std::optional<qint64> setting(const char *name)
{
    const QByteArray value = qgetenv(name);
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    if (!ok || number < 0)
        return std::nullopt;
    return number;
}
} // namespace

InstallerTiming InstallerTiming::fromEnvironment()
{
    InstallerTiming timing;
    if (const auto poll = setting("TAVOREN_INSTALLER_POLL_MS"))
        timing.pollInterval = std::chrono::milliseconds(*poll);
    if (const auto wait = setting("TAVOREN_INSTALLER_WAIT_MS")) {
        timing.missingProgressFileWait = std::chrono::milliseconds(*wait);
        timing.uninstallCompletePause = std::chrono::milliseconds(*wait);
    }
    if (const auto stall = setting("TAVOREN_INSTALLER_STALL_SECONDS"))
        timing.stallTimeout = std::chrono::seconds(*stall);
    if (const auto reply = setting("TAVOREN_INSTALLER_REPLY_SECONDS"))
        timing.helperReplyTimeout = std::chrono::seconds(*reply);
    return timing;
}

} // namespace tavoren::installer
