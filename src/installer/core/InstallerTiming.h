#pragma once

#include <chrono>

namespace tavoren::installer {

// The installer's waits and intervals. An administrator (or a test) can
// change them through the environment:
//   TAVOREN_INSTALLER_POLL_MS        progress poll and removal bar step (50)
//   TAVOREN_INSTALLER_WAIT_MS        the one-time waits: for a progress file
//                                    that is not there yet (2000) and after
//                                    a removal (1000)
//   TAVOREN_INSTALLER_STALL_SECONDS  no new progress line for this long ends
//                                    the installation as failed (7200)
//   TAVOREN_INSTALLER_REPLY_SECONDS  the longest wait for the helper's
//                                    answer to the probe and to the
//                                    public/private write (120)
// Each a whole number from 0 up to a year; anything else keeps the default.
struct InstallerTiming
{
    std::chrono::milliseconds pollInterval{50};
    std::chrono::milliseconds missingProgressFileWait{2000};
    std::chrono::milliseconds uninstallCompletePause{1000};
    std::chrono::seconds stallTimeout{7200};
    // How long the probe and the public/private write wait for their reply.
    std::chrono::seconds helperReplyTimeout{120};
    std::chrono::milliseconds capturePollInterval{250};

    static InstallerTiming fromEnvironment();
};

} // namespace tavoren::installer
