#pragma once

#include "client/core/ClientEnvironment.h"

namespace tavoren::client {

// The client's pieces on this platform that need no window: the resource
// folder beside the executable, the wall clock and the device identity.
class PlatformEnvironment
{
public:
    static ClientEnvironment make(shared::SystemLog &systemLog);
};

} // namespace tavoren::client
