#pragma once

#include "client/core/DeviceIdentity.h"

namespace tavoren::clienttest {

// One Ethernet interface with the serial 00:1a:2b:3c:4d:5e.
class FixedDevice final : public client::DeviceIdentity
{
public:
    std::optional<QList<client::EthernetInterface>> FindEthernetInterfaces() const override;
};

} // namespace tavoren::clienttest
