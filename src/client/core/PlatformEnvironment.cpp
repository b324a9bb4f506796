#include "client/core/PlatformEnvironment.h"

#include "client/core/DeviceIdentity.h"
#include "client/core/ResourceFolder.h"
#include "shared/MachineClock.h"
#include "shared/StringTable.h"

namespace tavoren::client {

ClientEnvironment PlatformEnvironment::make(shared::SystemLog &systemLog)
{
    ClientEnvironment environment(systemLog);
    environment.resourceFolder = ResourceFolder::path();
    environment.clock = std::make_shared<shared::MachineClock>();
    environment.device = DeviceIdentity::platform();
    environment.strings = std::make_shared<shared::StringTable>(environment.resourceFolder, QStringLiteral("Main"),
                                                                shared::StringTable::Missing::MarkedKey);
    return environment;
}

} // namespace tavoren::client
