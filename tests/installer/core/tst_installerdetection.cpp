// What the installer finds out before it installs: the version the package
// offers, the version installed, the system's version, and its command line.
#include "installer/core/FileSystemVersionSource.h"
#include "installer/core/KYInstaller.h"
#include "installer/core/SystemDetails.h"
#include "installer/core/VersionDetection.h"
#include "support/PlistWriter.h"
#include "support/TestRoot.h"

#include <QTest>

using namespace tavoren::installer;
using tavoren::testsupport::PlistWriter;
using tavoren::testsupport::TestRoot;

namespace {
const QString none = QStringLiteral("<none>");
}

class TestInstallerDetection : public QObject
{
    Q_OBJECT

private slots:
    void availableVersion_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("version");
        QTest::newRow("first driver line") << QByteArray("Other Driver=1.0\nCorvane Tavoren Driver=2.4.1\n"
                                                         "Corvane Tavoren Driver=9\n")
                                           << QStringLiteral("2.4.1");
        QTest::newRow("after the last equals sign") << QByteArray("Corvane Tavoren Driver=a=b\n") << QStringLiteral("b");
        QTest::newRow("empty value") << QByteArray("Corvane Tavoren Driver=") << QString();
        QTest::newRow("must begin the line") << QByteArray(" Corvane Tavoren Driver=1.0\n") << none;
        QTest::newRow("no driver line") << QByteArray("Other Driver=1.0\n") << none;
        QTest::newRow("no list") << QByteArray() << none;
    }
    void availableVersion()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, version);
        TestRoot root;
        const QString path = root.system(QStringLiteral("/medium/OSX/macver.list"));
        if (!list.isEmpty())
            root.writeFile(QStringLiteral("/medium/OSX/macver.list"), list);
        QCOMPARE(VersionDetection::getAvailableApplicationVersions(path).value_or(none), version);
    }

    void installedVersion_data()
    {
        QTest::addColumn<QByteArray>("receipt");
        QTest::addColumn<QString>("version");
        const QVariantMap entries{{QStringLiteral("PackageIdentifier"), QStringLiteral("com.Corvane.TavorenInstaller")},
                                  {QStringLiteral("PackageVersion"), QStringLiteral("9.9")}};
        QTest::newRow("XML receipt") << PlistWriter::xml(entries) << QStringLiteral("9.9");
        QTest::newRow("binary receipt") << PlistWriter::binary(entries) << QStringLiteral("9.9");
        QTest::newRow("no version entry")
            << PlistWriter::xml({{QStringLiteral("PackageIdentifier"), QStringLiteral("x")}}) << none;
        QTest::newRow("version of another type") << PlistWriter::xml({{QStringLiteral("PackageVersion"), 9}}) << none;
        QTest::newRow("damaged") << QByteArray("<plist><dict><key>PackageVersion") << none;
        QTest::newRow("no receipt") << QByteArray() << none;
    }
    void installedVersion()
    {
        QFETCH(QByteArray, receipt);
        QFETCH(QString, version);
        TestRoot root;
        const QString name = QStringLiteral("/var/db/receipts/com.Corvane.TavorenInstaller.plist");
        if (!receipt.isEmpty())
            root.writeFile(name, receipt);
        QCOMPARE(VersionDetection::getInstalledApplicationVersions(root.system(name)).value_or(none), version);
    }

    void systemVersion_data()
    {
        QTest::addColumn<QByteArray>("systemVersionPlist");
        QTest::addColumn<QByteArray>("osRelease");
        QTest::addColumn<QString>("line");
        QTest::newRow("major only") << PlistWriter::xml({{QStringLiteral("ProductVersion"), QStringLiteral("14")}})
                                    << QByteArray() << QStringLiteral("MacOS Version: 14.0");
        QTest::newRow("three parts") << PlistWriter::xml({{QStringLiteral("ProductVersion"), QStringLiteral("12.6.1")}})
                                     << QByteArray("VERSION_ID=\"99\"\n") << QStringLiteral("MacOS Version: 12.6");
        QTest::newRow("from os-release") << QByteArray() << QByteArray("NAME=\"Debian\"\nVERSION_ID=\"12\"\n")
                                         << QStringLiteral("MacOS Version: 12.0");
        QTest::newRow("not numbers") << PlistWriter::xml({{QStringLiteral("ProductVersion"), QStringLiteral("x.y")}})
                                     << QByteArray() << QStringLiteral("MacOS Version: 0.0");
    }
    void systemVersion()
    {
        QFETCH(QByteArray, systemVersionPlist);
        QFETCH(QByteArray, osRelease);
        QFETCH(QString, line);
        TestRoot root;
        if (!systemVersionPlist.isEmpty())
            root.writeFile(QStringLiteral("/System/Library/CoreServices/SystemVersion.plist"), systemVersionPlist);
        if (!osRelease.isEmpty())
            root.writeFile(QStringLiteral("/etc/os-release"), osRelease);
        const QStringList lines =
            SystemDetails::logLines(SystemDetails::parse(FileSystemVersionSource().productVersion()), QStringLiteral("alice"));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), line);
        QCOMPARE(lines.at(1), QStringLiteral("Current Logged in User: alice"));
        // The test environment runs under en_US.
        QCOMPARE(lines.at(2), QStringLiteral("System Language: en_US"));
        QCOMPARE(lines.at(3), QStringLiteral("System Locale Identifier: English (United States)"));
    }

    void silentArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("mode"); // "window", "private" or "public"
        QTest::newRow("user only") << QStringList{QStringLiteral("-s"), QStringLiteral("bob")} << "private";
        QTest::newRow("public") << QStringList{QStringLiteral("-s"), QStringLiteral("bob"), QStringLiteral("PUBLIC")}
                                << "public";
        QTest::newRow("public in any case")
            << QStringList{QStringLiteral("-S"), QStringLiteral("bob"), QStringLiteral("pUbLiC")} << "public";
        QTest::newRow("another third argument")
            << QStringList{QStringLiteral("-s"), QStringLiteral("bob"), QStringLiteral("private")} << "private";
        QTest::newRow("no user") << QStringList{QStringLiteral("-s")} << "window";
        QTest::newRow("other switch") << QStringList{QStringLiteral("-x"), QStringLiteral("bob")} << "window";
        QTest::newRow("switch not first") << QStringList{QStringLiteral("bob"), QStringLiteral("-s")} << "window";
        QTest::newRow("nothing") << QStringList() << "window";
    }
    void silentArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, mode);
        const auto silent = KYInstaller::silentArguments(QStringList{QStringLiteral("TavorenInstaller")} + arguments);
        const QString found = !silent ? QStringLiteral("window")
                                      : silent->isPublic ? QStringLiteral("public") : QStringLiteral("private");
        QCOMPARE(found, mode);
        if (silent)
            QCOMPARE(silent->userName, QStringLiteral("bob"));
    }

    void formatted_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("text");
        QTest::newRow("two in order") << QStringLiteral("%@ %@ is installed.")
                                      << QStringList{QStringLiteral("Driver"), QStringLiteral("1.0")}
                                      << QStringLiteral("Driver 1.0 is installed.");
        QTest::newRow("an argument that holds the placeholder")
            << QStringLiteral("%@ and %@") << QStringList{QStringLiteral("%@"), QStringLiteral("b")}
            << QStringLiteral("%@ and b");
        QTest::newRow("fewer placeholders") << QStringLiteral("Installing %@")
                                            << QStringList{QStringLiteral("a"), QStringLiteral("b")}
                                            << QStringLiteral("Installing a");
        QTest::newRow("a key without placeholder") << QStringLiteral("Installing") << QStringList{QStringLiteral("a")}
                                                   << QStringLiteral("Installing");
    }
    void formatted()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, arguments);
        QFETCH(QString, text);
        QCOMPARE(KYInstaller::formatted(format, arguments), text);
    }

    void bundlePath()
    {
        QCOMPARE(KYInstaller::bundlePathOf(QStringLiteral("/Volumes/Disk/TavorenInstaller.app/Contents/MacOS")),
                 QStringLiteral("/Volumes/Disk/TavorenInstaller.app"));
        QCOMPARE(KYInstaller::bundlePathOf(QStringLiteral("/opt/installer/bin")), QStringLiteral("/opt/installer/bin"));
    }
};

QTEST_GUILESS_MAIN(TestInstallerDetection)
#include "tst_installerdetection.moc"
