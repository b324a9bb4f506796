#pragma once

#include "client/core/Termination.h"

namespace tavoren::client {

// Quits the application's event loop after the current event, so that the
// caller's own steps finish first.
class ApplicationQuit final : public Termination
{
public:
    void terminate() override;
};

} // namespace tavoren::client
