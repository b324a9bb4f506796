#include "client/core/LinuxDeviceIdentity.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tavoren::client;

namespace {
// A sysfs-like tree: class/net/<name>/{type,address,device}.
struct FakeNet
{
    QTemporaryDir dir;
    QString classNet() const { return dir.filePath(QStringLiteral("class/net")); }
    QString route() const { return dir.filePath(QStringLiteral("route")); }

    void add(const QString &name, int type, const QString &address, bool hasDevice)
    {
        const QString base = classNet() + QLatin1Char('/') + name;
        QDir().mkpath(base);
        write(base + QStringLiteral("/type"), QByteArray::number(type) + '\n');
        write(base + QStringLiteral("/address"), address.toLatin1() + '\n');
        if (hasDevice)
            QDir().mkpath(base + QStringLiteral("/device"));
    }
    void routes(const QByteArray &lines)
    {
        write(route(), "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n" + lines);
    }
    static void write(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
};
} // namespace

class TestDeviceIdentity : public QObject
{
    Q_OBJECT

private slots:
    void format()
    {
        QCOMPARE(DeviceIdentity::format(MacAddress{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), QStringLiteral("00:1a:2b:3c:4d:5e"));
        QCOMPARE(DeviceIdentity::format(MacAddress{0xff, 0x01, 0, 0, 0, 0x0a}), QStringLiteral("ff:01:00:00:00:0a"));
    }

    void lastInterfaceWithAddressWins()
    {
        const QList<EthernetInterface> interfaces{{QStringLiteral("a"), MacAddress{1, 1, 1, 1, 1, 1}},
                                                  {QStringLiteral("b"), MacAddress{2, 2, 2, 2, 2, 2}},
                                                  {QStringLiteral("c"), std::nullopt}};
        QCOMPARE(DeviceIdentity::GetMACAddress(interfaces), std::optional<MacAddress>(MacAddress{2, 2, 2, 2, 2, 2}));
        QCOMPARE(DeviceIdentity::GetMACAddress({{QStringLiteral("c"), std::nullopt}}), std::nullopt);
    }

    void parseAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("normal") << QStringLiteral("52:54:00:ab:cd:ef") << true;
        QTest::newRow("upper case") << QStringLiteral("52:54:00:AB:CD:EF") << true;
        QTest::newRow("five bytes") << QStringLiteral("52:54:00:ab:cd") << false;
        QTest::newRow("one digit") << QStringLiteral("5:54:00:ab:cd:ef") << false;
        QTest::newRow("not hex") << QStringLiteral("zz:54:00:ab:cd:ef") << false;
        QTest::newRow("infiniband length") << QStringLiteral("80:00:00:48:fe:80:00:00:00:00") << false;
        QTest::newRow("empty") << QString() << false;
    }

    void parseAddress()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto address = LinuxDeviceIdentity::parseAddress(text);
        QCOMPARE(address.has_value(), valid);
        if (valid)
            QCOMPARE(DeviceIdentity::format(*address), text.toLower());
    }

    void primaryInterface_data()
    {
        QTest::addColumn<QByteArray>("routes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("default route on the second") << QByteArray("enp3s0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n")
                                                    << QStringLiteral("52:54:00:00:00:03");
        QTest::newRow("no default route: first by name") << QByteArray("enp3s0\t0001A8C0\t00000000\t0001\t0\t0\t0\tFFFFFF00\t0\t0\t0\n")
                                                        << QStringLiteral("52:54:00:00:00:02");
        QTest::newRow("lowest metric wins")
            << QByteArray("enp3s0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                          "enp2s0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n")
            << QStringLiteral("52:54:00:00:00:02");
        QTest::newRow("default route on a bridge is ignored")
            << QByteArray("br0\t00000000\t0101A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n") << QStringLiteral("52:54:00:00:00:02");
        QTest::newRow("route that is down is ignored")
            << QByteArray("enp3s0\t00000000\t0101A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n") << QStringLiteral("52:54:00:00:00:02");
    }

    void primaryInterface()
    {
        QFETCH(QByteArray, routes);
        QFETCH(QString, expected);
        FakeNet net;
        net.add(QStringLiteral("lo"), 772, QStringLiteral("00:00:00:00:00:00"), false);
        net.add(QStringLiteral("br0"), 1, QStringLiteral("52:54:00:00:00:09"), false);
        net.add(QStringLiteral("enp3s0"), 1, QStringLiteral("52:54:00:00:00:03"), true);
        net.add(QStringLiteral("enp2s0"), 1, QStringLiteral("52:54:00:00:00:02"), true);
        net.add(QStringLiteral("wwan0"), 519, QStringLiteral("52:54:00:00:00:05"), true);
        net.routes(routes);
        QCOMPARE(LinuxDeviceIdentity(net.classNet(), net.route()).macAddressAsString(), expected);
    }

    void noAddressGivesEmptySerial_data()
    {
        QTest::addColumn<bool>("withTree");
        QTest::addColumn<bool>("withEthernet");
        QTest::newRow("no sysfs") << false << false;
        QTest::newRow("no ethernet") << true << false;
        QTest::newRow("unreadable address") << true << true;
    }

    void noAddressGivesEmptySerial()
    {
        QFETCH(bool, withTree);
        QFETCH(bool, withEthernet);
        FakeNet net;
        if (withTree)
            net.add(QStringLiteral("lo"), 772, QStringLiteral("00:00:00:00:00:00"), false);
        if (withEthernet)
            net.add(QStringLiteral("eth0"), 1, QStringLiteral("garbage"), true);
        const LinuxDeviceIdentity identity(net.classNet(), net.route());
        QCOMPARE(identity.FindEthernetInterfaces().has_value(), withTree);
        QCOMPARE(identity.macAddressAsString(), QString());
    }
};

QTEST_GUILESS_MAIN(TestDeviceIdentity)
#include "tst_deviceidentity.moc"
