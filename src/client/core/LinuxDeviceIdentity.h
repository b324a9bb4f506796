#pragma once

#include "client/core/DeviceIdentity.h"

namespace tavoren::client {

// Ethernet interfaces from sysfs (type 1 with a device link, so bridges and
// virtual links are left out); the primary one carries the default route,
// otherwise the first by name. The two sources are files so tests can feed
// a tree of their own.
class LinuxDeviceIdentity final : public DeviceIdentity
{
public:
    explicit LinuxDeviceIdentity(QString classNetDir = QStringLiteral("/sys/class/net"),
                                 QString routeFile = QStringLiteral("/proc/net/route"));

    std::optional<QList<EthernetInterface>> FindEthernetInterfaces() const override;

    // "00:1a:2b:3c:4d:5e" as bytes; nothing for any other text.
    static std::optional<MacAddress> parseAddress(const QString &text);

private:
    QString defaultRouteInterface(const QStringList &candidates) const;

    QString m_classNetDir;
    QString m_routeFile;
};

} // namespace tavoren::client
