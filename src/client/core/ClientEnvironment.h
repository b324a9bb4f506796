#pragma once

#include <QString>
#include <chrono>
#include <memory>

namespace tavoren::shared {
class Clock;
class StringTable;
class SystemLog;
}

namespace tavoren::client {

class ApplicationIcon;
class DeviceIdentity;
class Termination;
class UrlHandler;

// Everything the client takes from the platform, handed to it whole: built
// in main (PlatformEnvironment and the window's own pieces), or of fakes in
// tests. The pieces a program lacks stay empty: a headless program has no
// icon, no URL handler and no termination of its own.
struct ClientEnvironment
{
    explicit ClientEnvironment(shared::SystemLog &log)
        : systemLog(log)
    {
    }

    // Where failures of the log and the configuration files go; it outlives
    // the client.
    shared::SystemLog &systemLog;
    // Where TavorenClient.plist, images and translations live.
    QString resourceFolder;
    std::shared_ptr<shared::Clock> clock;
    std::shared_ptr<DeviceIdentity> device;
    // Opens addresses in the user's default handler.
    std::shared_ptr<UrlHandler> urlHandler;
    // Applies the configured icon to the running application.
    std::shared_ptr<ApplicationIcon> applicationIcon;
    // Ends the process after the current event.
    std::shared_ptr<Termination> termination;
    // The "Main" table, loaded once for everyone who shows text.
    std::shared_ptr<shared::StringTable> strings;
    // The step of the wait for the spool file.
    std::chrono::milliseconds spoolWaitStep{1000};
};

} // namespace tavoren::client
