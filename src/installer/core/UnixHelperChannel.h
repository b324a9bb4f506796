#pragma once

#include "installer/core/HelperChannel.h"

#include <string>

namespace tavoren::installer {

// The helper tool's root-owned Unix-domain socket. Only a listener that runs
// as root is taken for the helper: anyone else could have put a socket there.
class UnixHelperChannel final : public HelperChannel
{
public:
    explicit UnixHelperChannel(std::string socketPath);
    shared::Expected<std::unique_ptr<Connection>> connect() override;

private:
    std::string m_socketPath;
};

} // namespace tavoren::installer
