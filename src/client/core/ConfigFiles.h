#pragma once

#include "client/core/AdminConfig.h"
#include "client/core/Config.h"

#include <QString>
#include <functional>

namespace tavoren::client {

// Reads and writes the two configuration property lists. Every call reads the
// files afresh; failures are logged and never reach the caller.
class ConfigFiles
{
public:
    // The client file, or six empty strings when it is absent or unusable.
    static Config parseConfig();
    // The administrator file with schemes applied, or the defaults when it is
    // absent or unusable. Also sets the application icon from the client file.
    static AdminConfig parseAdminConfig();
    // Replaces the client file atomically with an XML property list.
    static void setConfig(const Config &config);

    // Paths in force: the client file in the resource folder, the admin file
    // under TAVOREN_ROOT.
    static QString clientConfigPath();
    static QString adminConfigPath();

    // Applies an icon path to the running application; returns whether the
    // image loaded. The GUI installs one; headless programs keep none. Called
    // by parseAdminConfig() only when the client file names an icon.
    using IconHandler = std::function<bool(const QString &path)>;
    static void setApplicationIconHandler(IconHandler handler);
};

} // namespace tavoren::client
