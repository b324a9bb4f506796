#include "client/core/DeviceIdentity.h"

#include "client/core/LinuxDeviceIdentity.h"

namespace tavoren::client {

std::optional<MacAddress> DeviceIdentity::GetMACAddress(const QList<EthernetInterface> &interfaces)
{
    std::optional<MacAddress> result;
    for (const EthernetInterface &interface : interfaces) {
        if (interface.address)
            result = interface.address;
    }
    return result;
}

QString DeviceIdentity::format(const MacAddress &address)
{
    QStringList bytes;
    for (std::uint8_t byte : address)
        bytes.append(QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')));
    return bytes.join(QLatin1Char(':'));
}

QString DeviceIdentity::macAddressAsString() const
{
    const auto interfaces = FindEthernetInterfaces();
    if (!interfaces)
        return {};
    const auto address = GetMACAddress(*interfaces);
    return address ? format(*address) : QString();
}

std::shared_ptr<DeviceIdentity> DeviceIdentity::platform()
{
    return std::make_shared<LinuxDeviceIdentity>();
}

} // namespace tavoren::client
