#pragma once

#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace tavoren::client {

using MacAddress = std::array<std::uint8_t, 6>;

// One interface object found by the search, with its controller's address
// when it has one.
struct EthernetInterface
{
    QString name;
    std::optional<MacAddress> address;
};

// The computer's identity on the wire: the hardware address of the primary
// Ethernet interface. One implementation per platform.
class DeviceIdentity
{
public:
    virtual ~DeviceIdentity() = default;

    // The primary Ethernet interfaces in the platform's order; nothing when
    // the search itself fails.
    virtual std::optional<QList<EthernetInterface>> FindEthernetInterfaces() const = 0;

    // The address of the last interface that has one.
    static std::optional<MacAddress> GetMACAddress(const QList<EthernetInterface> &interfaces);
    // Six lower-case two-digit hex bytes joined by ":".
    static QString format(const MacAddress &address);
    // Search, pick and format; the empty text when there is no address.
    QString macAddressAsString() const;

    // The implementation of this platform.
    static std::shared_ptr<DeviceIdentity> platform();
};

} // namespace tavoren::client
