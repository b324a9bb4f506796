#include "client/core/LinuxDeviceIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <limits>

namespace tavoren::client {

namespace {
// sysfs and procfs files are small; never read more than this.
constexpr qint64 maxFileBytes = 64 * 1024;

QString readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.read(maxFileBytes)).trimmed();
}

constexpr int arphrdEther = 1;
} // namespace

LinuxDeviceIdentity::LinuxDeviceIdentity(QString classNetDir, QString routeFile)
    : m_classNetDir(std::move(classNetDir))
    , m_routeFile(std::move(routeFile))
{
}

std::optional<MacAddress> LinuxDeviceIdentity::parseAddress(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 6)
        return std::nullopt;
    MacAddress address{};
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok, 16);
        if (!ok || parts[i].size() != 2 || value > 0xff)
            return std::nullopt;
        address[size_t(i)] = std::uint8_t(value);
    }
    return address;
}

QString LinuxDeviceIdentity::defaultRouteInterface(const QStringList &candidates) const
{
    QFile file(m_routeFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
    QString best;
    qint64 bestMetric = std::numeric_limits<qint64>::max();
    const QList<QByteArray> lines = file.read(maxFileBytes).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 8)
            continue;
        bool flagsOk = false, metricOk = false;
        const uint flags = fields[3].toUInt(&flagsOk, 16);
        const qint64 metric = fields[6].toLongLong(&metricOk);
        const QString name = QString::fromLatin1(fields[0]);
        const bool isDefault = fields[1] == "00000000" && fields[7] == "00000000";
        if (isDefault && flagsOk && (flags & 0x1) && metricOk && candidates.contains(name) && metric < bestMetric) {
            best = name;
            bestMetric = metric;
        }
    }
    return best;
}

std::optional<QList<EthernetInterface>> LinuxDeviceIdentity::FindEthernetInterfaces() const
{
    QDir dir(m_classNetDir);
    if (!dir.exists())
        return std::nullopt;

    QStringList ethernet;
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &name : names) {
        const QString base = dir.filePath(name);
        if (readSmallFile(base + QStringLiteral("/type")).toInt() != arphrdEther)
            continue;
        if (!QFileInfo::exists(base + QStringLiteral("/device")))
            continue;
        ethernet.append(name);
    }
    if (ethernet.isEmpty())
        return QList<EthernetInterface>{};

    QString primary = defaultRouteInterface(ethernet);
    if (primary.isEmpty())
        primary = ethernet.first();
    const auto address = parseAddress(readSmallFile(dir.filePath(primary) + QStringLiteral("/address")));
    return QList<EthernetInterface>{EthernetInterface{primary, address}};
}

} // namespace tavoren::client
