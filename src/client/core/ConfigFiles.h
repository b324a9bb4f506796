#pragma once

#include "client/core/AdminConfig.h"
#include "client/core/Config.h"

#include <QString>
#include <functional>

namespace tavoren::client {

// Reads and writes the configuration property lists. Every call reads the
// files afresh; failures are logged and never reach the caller.
class ConfigFiles
{
public:
    // The client file of the bundle (the administrator's defaults, six empty
    // strings when it is absent or unusable) with the user's own values over
    // it. A user file that cannot be used is left aside, the defaults stay.
    static Config parseConfig();
    // The administrator file with schemes applied, or the defaults when it is
    // absent or unusable. Also sets the application icon from the client file.
    static AdminConfig parseAdminConfig();
    // Remembers the owner address in the user's own file, replaced
    // atomically as an XML property list (mode 0600); its other entries stay.
    // The bundle is never written.
    static void setOwnerEmail(const QString &address);

    // Paths in force: the client file in the resource folder, the user's own
    // file (empty without a home), the admin file under TAVOREN_ROOT.
    static QString clientConfigPath();
    static QString userConfigPath();
    static QString adminConfigPath();

    // Applies an icon path to the running application; returns whether the
    // image loaded. The GUI installs one; headless programs keep none. Called
    // by parseAdminConfig() only when the client file names an icon.
    using IconHandler = std::function<bool(const QString &path)>;
    static void setApplicationIconHandler(IconHandler handler);
};

} // namespace tavoren::client
