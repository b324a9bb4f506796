#include "client/support/FixedDevice.h"

namespace tavoren::clienttest {

std::optional<QList<client::EthernetInterface>> FixedDevice::FindEthernetInterfaces() const
{
    return QList<client::EthernetInterface>{
        {QStringLiteral("eth0"), client::MacAddress{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}}};
}

} // namespace tavoren::clienttest
