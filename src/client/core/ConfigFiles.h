#pragma once

#include "client/core/AdminConfig.h"
#include "client/core/ClientEnvironment.h"
#include "client/core/Config.h"
#include "client/core/LogLevel.h"

#include <QString>
#include <string_view>

namespace tavoren::client {

// Reads and writes the configuration property lists of the environment it
// is given. Every call reads the files afresh; failures are logged and never
// reach the caller.
class ConfigFiles
{
public:
    explicit ConfigFiles(const ClientEnvironment &environment);

    // The client file of the bundle (the administrator's defaults, six empty
    // strings when it is absent or unusable) with the user's own values over
    // it. A user file that cannot be used is left aside, the defaults stay.
    Config parseConfig() const;
    // The administrator file with schemes applied, or the defaults when it is
    // absent or unusable. Also sets the application icon from the client
    // file, when the environment has an icon and the file names one.
    AdminConfig parseAdminConfig() const;
    // Remembers the owner address in the user's own file, replaced
    // atomically as an XML property list (mode 0600); its other entries stay.
    // The bundle is never written.
    void setOwnerEmail(const QString &address) const;

    // Paths in force: the client file in the resource folder, the user's own
    // file (empty without a home), the admin file under TAVOREN_ROOT.
    QString clientConfigPath() const;
    static QString userConfigPath();
    static QString adminConfigPath();

private:
    void log(LogLevel type, const QString &message, const QString &details) const;
    void report(std::string_view message) const;
    void overlayUserFile(Config &config) const;

    ClientEnvironment m_environment;
};

} // namespace tavoren::client
