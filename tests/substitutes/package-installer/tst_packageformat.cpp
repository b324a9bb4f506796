// The flat-package format: cpio payloads written exactly as given (hostile
// ones included), PackageInfo, the outer archive, and the package builder.
#include "package-installer/CpioReader.h"
#include "package-installer/CpioWriter.h"
#include "package-installer/FlatPackage.h"
#include "package-installer/PackageInfo.h"
#include "package-installer/PackageWriter.h"
#include "shared/Descriptor.h"

#include "HostilePackage.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tavoren::packageinstaller;
using tavoren::shared::Descriptor;
using tavoren::testsupport::HostilePackage;
using tavoren::testsupport::TestRoot;
using Entries = std::vector<PayloadEntry>;
using Kind = PayloadEntry::Kind;

Q_DECLARE_METATYPE(Entries)
Q_DECLARE_METATYPE(PayloadLimits)

namespace {
const QString pkgbuild = QStringLiteral(TAVOREN_TOOLS_DIR "/tavoren-pkgbuild");

Descriptor openFolder(const QString &path)
{
    return Descriptor(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

Descriptor fileWith(const QString &path, const std::string &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        return Descriptor();
    file.close();
    return Descriptor(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
}

// The table of contents of a xar archive, unpacked here rather than by the
// code under test.
QByteArray tableOfContents(const std::string &archive)
{
    const auto *data = reinterpret_cast<const uchar *>(archive.data());
    const quint64 packed = qFromBigEndian<quint64>(data + 8);
    QByteArray withSize(4, '\0');
    qToBigEndian<quint32>(quint32(qFromBigEndian<quint64>(data + 16)), withSize.data());
    withSize.append(archive.data() + 28, qsizetype(packed));
    return qUncompress(withSize);
}

// A package with `bytes` changed at `offset` (the header's fields are
// big-endian).
QByteArray patched(std::string package, std::size_t offset, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i, value >>= 8)
        package[offset + std::size_t(i)] = char(value & 0xff);
    return QByteArray::fromStdString(package);
}

bool makeFile(const QString &path, const QByteArray &content, mode_t mode)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush()
        && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}
} // namespace

class TestPackageFormat : public QObject
{
    Q_OBJECT

private slots:
    void writerKeepsEntriesAsGiven_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::newRow("dot-dot path, set-user-ID") << Entries{PayloadEntry::file("../../etc/cron.d/job", "x", 04755)};
        QTest::newRow("absolute path") << Entries{PayloadEntry::folder("/etc", 0700), PayloadEntry::file("/etc/passwd", "root")};
        QTest::newRow("link leading out") << Entries{PayloadEntry::symbolicLink("./l", "../../etc/passwd")};
        QTest::newRow("hard link out") << Entries{PayloadEntry::file("../outside", "data"), PayloadEntry::hardLink("./inside", "../outside")};
        QTest::newRow("FIFO and devices") << Entries{PayloadEntry::special("./fifo", Kind::Fifo), PayloadEntry::special("./null", Kind::CharacterDevice),
                                                     PayloadEntry::special("./disk", Kind::BlockDevice)};
        QTest::newRow("control characters") << Entries{PayloadEntry::file("./a\nb\x01", "x")};
    }

    void writerKeepsEntriesAsGiven()
    {
        QFETCH(Entries, entries);
        QTemporaryDir dir;
        const auto archive = CpioWriter::write(entries);
        QVERIFY2(archive, archive ? "" : archive.error().text.c_str());
        const Descriptor fd = fileWith(dir.filePath(QStringLiteral("Payload")), *archive);
        QVERIFY(fd);
        const auto read = CpioReader::list(fd.get(), PayloadLimits());
        QVERIFY2(read, read ? "" : read.error().text.c_str());
        QCOMPARE(read->size(), entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            QCOMPARE(QString::fromStdString((*read)[i].path), QString::fromStdString(entries[i].path));
            QCOMPARE(int((*read)[i].kind), int(entries[i].kind));
            QCOMPARE((*read)[i].mode, entries[i].mode);
            QCOMPARE(QString::fromStdString((*read)[i].link), QString::fromStdString(entries[i].link));
            QCOMPARE((*read)[i].size, entries[i].kind == Kind::File ? entries[i].size : 0);
        }
    }

    void packageInfo_data()
    {
        QTest::addColumn<QByteArray>("xml");
        // Empty when the document is accepted.
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("fields"); // identifier, version, location, preinstall, postinstall
        QTest::newRow("complete") << QByteArray("<?xml version=\"1.0\"?>\n<pkg-info format-version=\"2\" identifier=\"com.a.b\" version=\"1.2\" "
                                                "install-location=\"/opt\" auth=\"root\"><payload numberOfFiles=\"3\" installKBytes=\"12\"/>"
                                                "<scripts><preinstall file=\"./preinstall\"/><postinstall file=\"./post\"/></scripts>"
                                                "<bundle-version/></pkg-info>\n")
                                  << QString()
                                  << QStringList{QStringLiteral("com.a.b"), QStringLiteral("1.2"), QStringLiteral("/opt"), QStringLiteral("./preinstall"), QStringLiteral("./post")};
        QTest::newRow("no location, no scripts") << QByteArray("<pkg-info identifier=\"x\" version=\"1\"/>") << QString()
                                                 << QStringList{QStringLiteral("x"), QStringLiteral("1"), QStringLiteral("/"), QString(), QString()};
        QTest::newRow("no identifier") << QByteArray("<pkg-info version=\"1\"/>")
                                       << QStringLiteral("its PackageInfo names no identifier or no version") << QStringList();
        QTest::newRow("no version") << QByteArray("<pkg-info identifier=\"x\"/>")
                                    << QStringLiteral("its PackageInfo names no identifier or no version") << QStringList();
        QTest::newRow("other root") << QByteArray("<plist><pkg-info identifier=\"x\" version=\"1\"/></plist>")
                                    << QStringLiteral("its PackageInfo has no pkg-info element") << QStringList();
        QTest::newRow("unclosed") << QByteArray("<pkg-info identifier=\"x\" version=\"1\">")
                                  << QStringLiteral("its PackageInfo is not well-formed XML (line 1: ") << QStringList();
        QTest::newRow("second root") << QByteArray("<pkg-info identifier=\"x\" version=\"1\"/><pkg-info/>")
                                     << QStringLiteral("its PackageInfo is not well-formed XML (line 1: ") << QStringList();
        QTest::newRow("other format") << QByteArray("<pkg-info format-version=\"1\" identifier=\"x\" version=\"1\"/>")
                                      << QStringLiteral("its PackageInfo has format version \"1\", not 2") << QStringList();
        QTest::newRow("size not a number") << QByteArray("<pkg-info identifier=\"x\" version=\"1\"><payload numberOfFiles=\"many\"/></pkg-info>")
                                           << QStringLiteral("its PackageInfo has a payload size that is not a number") << QStringList();
    }

    void packageInfo()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, error);
        QFETCH(QStringList, fields);
        const auto info = PackageInfo::fromXml(xml.toStdString());
        if (!error.isEmpty()) {
            QVERIFY(!info);
            QVERIFY2(QString::fromStdString(info.error().text).startsWith(error), info.error().text.c_str());
            return;
        }
        QVERIFY2(info, info ? "" : info.error().text.c_str());
        const QStringList read = {QString::fromStdString(info->identifier), QString::fromStdString(info->version),
                                  QString::fromStdString(info->installLocation), QString::fromStdString(info->preinstall),
                                  QString::fromStdString(info->postinstall)};
        QCOMPARE(read, fields);
    }

    // What the builder writes is what the installer reads.
    void packageInfoReadsBackWhatIsWritten()
    {
        PackageInfo info;
        info.identifier = "com.Corvane.TavorenInstaller";
        info.version = "2.0 <beta> & \"more\"";
        info.numberOfFiles = 7;
        info.installKBytes = 42;
        info.postinstall = "./postinstall";
        const auto read = PackageInfo::fromXml(info.toXml());
        QVERIFY2(read, read ? "" : read.error().text.c_str());
        QCOMPARE(read->identifier, info.identifier);
        QCOMPARE(read->version, info.version);
        QCOMPARE(read->installLocation, std::string("/"));
        QCOMPARE(read->numberOfFiles, std::uint64_t(7));
        QCOMPARE(read->installKBytes, std::uint64_t(42));
        QCOMPARE(read->preinstall, std::string());
        QCOMPARE(read->postinstall, info.postinstall);
    }

    // The same contents give the same bytes whatever the clock says, and
    // the stamped archive still passes libarchive's checksums.
    void packageIsStampedAndReadable()
    {
        PackageWriter::Contents contents;
        contents.info.identifier = "com.a.b";
        contents.info.version = "1";
        contents.payload = {PayloadEntry::folder("./Library"), PayloadEntry::file("./Library/x", std::string(5000, 'x'))};
        contents.payload[0].modified = 1000;
        contents.payload[1].modified = 2000000000;
        contents.scripts = {PayloadEntry::file("./preinstall", "#!/bin/sh\n", 0755)};
        const auto written = PackageWriter::write(contents);
        const auto again = PackageWriter::write(contents);
        QVERIFY(written && again);
        const std::string &first = *written;
        QVERIFY(first == *again);
        const QByteArray table = tableOfContents(first);
        QVERIFY2(table.contains("<creation-time>2033-05-18T03:33:20</creation-time>"), table.constData());

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("a.pkg"));
        QVERIFY(fileWith(path, first));
        const Descriptor work = openFolder(dir.path());
        const auto package = FlatPackage::open(QFile::encodeName(path).toStdString(), work.get(), PayloadLimits());
        QVERIFY2(package, package ? "" : package.error().text.c_str());
        QVERIFY(package->scripts);
        const auto info = PackageInfo::fromXml(package->packageInfo);
        QVERIFY2(info, info ? "" : info.error().text.c_str());
        QCOMPARE(info->numberOfFiles, std::uint64_t(2));
        QCOMPARE(info->installKBytes, std::uint64_t(5));
        const auto payload = CpioReader::list(package->payload.get(), PayloadLimits());
        QVERIFY2(payload, payload ? "" : payload.error().text.c_str());
        QCOMPARE(payload->size(), std::size_t(2));
        QCOMPARE((*payload)[1].size, std::uint64_t(5000));

        // The table's checksum is checked: the stamping renewed it.
        std::string damaged = first;
        const std::size_t checksum = 28 + qFromBigEndian<quint64>(reinterpret_cast<const uchar *>(first.data()) + 8);
        damaged[checksum] = char(damaged[checksum] ^ 0x55);
        const QString damagedPath = dir.filePath(QStringLiteral("b.pkg"));
        QVERIFY(fileWith(damagedPath, damaged));
        const auto broken = FlatPackage::open(QFile::encodeName(damagedPath).toStdString(), work.get(), PayloadLimits());
        QVERIFY(!broken);
        QCOMPARE(broken.error().action, std::string(FlatPackage::damagedAction));
    }

    // Each member is copied to its own last byte and no further, whatever
    // follows it in the archive: a payload beyond the scripts' limit before
    // a small Scripts member once made the scripts read as that large.
    void membersAreCopiedExactly_data()
    {
        QTest::addColumn<int>("payloadBytes");
        QTest::newRow("small payload") << 5000;
        QTest::newRow("payload beyond the scripts' limit") << int(PayloadLimits().maximumScriptsBytes + (1 << 20));
    }

    void membersAreCopiedExactly()
    {
        QFETCH(int, payloadBytes);
        std::string noise(std::size_t(payloadBytes), '\0');
        std::uint32_t state = 2463534242u; // xorshift: bytes that do not compress
        for (char &c : noise) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            c = char(state & 0xff);
        }
        PackageWriter::Contents contents;
        contents.info.identifier = "com.a.b";
        contents.info.version = "1";
        contents.payload = {PayloadEntry::folder("./Library"), PayloadEntry::file("./Library/noise", noise)};
        contents.scripts = {PayloadEntry::file("./postinstall", "#!/bin/sh\nexit 0\n", 0755)};
        const auto written = PackageWriter::write(contents);
        QVERIFY(written);
        const std::string &bytes = *written;

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("a.pkg"));
        QVERIFY(fileWith(path, bytes));
        const Descriptor work = openFolder(dir.path());
        const auto package = FlatPackage::open(QFile::encodeName(path).toStdString(), work.get(), PayloadLimits());
        QVERIFY2(package, package ? "" : package.error().text.c_str());
        QVERIFY(package->scripts);
        const auto scripts = CpioReader::list(package->scripts.get(), PayloadLimits());
        QVERIFY2(scripts, scripts ? "" : scripts.error().text.c_str());
        QCOMPARE(scripts->size(), std::size_t(1));
        const auto payload = CpioReader::list(package->payload.get(), PayloadLimits());
        QVERIFY2(payload, payload ? "" : payload.error().text.c_str());
        QCOMPARE((*payload)[1].size, std::uint64_t(payloadBytes));

        // The copies are exactly the members the table of contents names.
        const QByteArray table = tableOfContents(bytes);
        for (const auto &[name, fd] : {std::pair{QByteArrayLiteral("Payload"), package->payload.get()},
                                       std::pair{QByteArrayLiteral("Scripts"), package->scripts.get()}}) {
            const qsizetype at = table.indexOf(QByteArray("<name>" + name + "</name>"));
            QVERIFY(at >= 0);
            const qsizetype sizeAt = table.indexOf("<size>", at) + 6;
            const qint64 declared = table.mid(sizeAt, table.indexOf("</size>", sizeAt) - sizeAt).toLongLong();
            struct stat copied {};
            QVERIFY(::fstat(fd, &copied) == 0);
            QCOMPARE(qint64(copied.st_size), declared);
        }
    }

    // The outer archive is bounded before libarchive reads its table of
    // contents, whatever the header says, and so are members it deflates.
    void outerArchiveLimits_data()
    {
        QTest::addColumn<QByteArray>("package");
        // Empty when the package opens; else the beginning of the reason.
        QTest::addColumn<QString>("reason");
        const auto info = HostilePackage::Member::stored("PackageInfo", HostilePackage::packageInfo());
        const std::string payload = HostilePackage::smallPayload();
        const std::vector<HostilePackage::Member> members = {info, HostilePackage::Member::stored("Payload", payload)};
        const std::string good = HostilePackage::xar(members);
        const std::uint64_t tableSize = qFromBigEndian<quint64>(reinterpret_cast<const uchar *>(good.data()) + 16);
        const QString tooLarge = QStringLiteral("its table of contents is larger than 1048576 bytes");

        QTest::newRow("within the limits") << QByteArray::fromStdString(good) << QString();
        QTest::newRow("200000 members") << QByteArray::fromStdString(HostilePackage::xar(members, 200000)) << tooLarge;
        QTest::newRow("many members, declared small")
            << QByteArray::fromStdString(HostilePackage::xar(members, 200000, {}, tableSize)) << tooLarge;
        QTest::newRow("few members, declared large") << QByteArray::fromStdString(HostilePackage::xar(members, 0, {}, 2 << 20))
                                                      << tooLarge;
        QTest::newRow("declared one byte more") << QByteArray::fromStdString(HostilePackage::xar(members, 0, {}, tableSize + 1))
                                                 << QStringLiteral("its table of contents has %1 bytes, not the %2 its header declares")
                                                        .arg(tableSize).arg(tableSize + 1);
        QTest::newRow("header cut short") << QByteArray::fromStdString(good.substr(0, 20)) << QStringLiteral("its archive header is cut short");
        QTest::newRow("table cut short") << QByteArray::fromStdString(good.substr(0, 40)) << QStringLiteral("its table of contents is cut short");
        QTest::newRow("other header size") << patched(good, 4, 32, 2) << QStringLiteral("its archive header has 32 bytes, not 28");
        QTest::newRow("other version") << patched(good, 6, 2, 2) << QStringLiteral("its archive has version 2, not 1");
        QTest::newRow("unknown checksum") << patched(good, 24, 3, 4)
                                          << QStringLiteral("its table of contents has an unknown checksum algorithm (3)");
        QTest::newRow("table not deflated") << patched(good, 28, 0xffffffffffffffffu, 8)
                                            << QStringLiteral("its table of contents cannot be unpacked (");
        QTest::newRow("entities") << QByteArray::fromStdString(HostilePackage::xar(members, 0, "<!DOCTYPE xar [<!ENTITY a \"aaaa\">]>\n"))
                                  << QStringLiteral("its table of contents declares a document type");
        QTest::newRow("member deflated by the archive, 4 GiB of zeros")
            << QByteArray::fromStdString(HostilePackage::xar({info, {"Payload", HostilePackage::zlibZeros(std::uint64_t(4) << 30),
                                                                     std::uint64_t(4) << 30, "application/x-gzip"}}))
            << QStringLiteral("its Payload cannot be read (it unpacks to more than 32 times its packed size)");
    }

    void outerArchiveLimits()
    {
        QFETCH(QByteArray, package);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("a.pkg"));
        QVERIFY(fileWith(path, package.toStdString()));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("work"))));
        const Descriptor work = openFolder(dir.filePath(QStringLiteral("work")));
        const auto opened = FlatPackage::open(QFile::encodeName(path).toStdString(), work.get(), PayloadLimits());
        if (reason.isEmpty()) {
            QVERIFY2(opened, opened ? "" : opened.error().text.c_str());
            QCOMPARE(opened->packageInfo, HostilePackage::packageInfo());
            return;
        }
        QVERIFY(!opened);
        QCOMPARE(opened.error().action, std::string(FlatPackage::damagedAction));
        QVERIFY2(QString::fromStdString(opened.error().text).startsWith(reason), opened.error().text.c_str());
        // Refused early: little of a member was copied.
        const QStringList left = QDir(dir.filePath(QStringLiteral("work"))).entryList(QDir::Files);
        for (const QString &name : left)
            QVERIFY2(QFileInfo(dir.filePath(QStringLiteral("work/") + name)).size() <= (32 << 20), qPrintable(name));
    }

    // Archives are inflated within the limits at every byte: a bomb is
    // refused once it shows, however its headers lie.
    void unpackingLimits_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<PayloadLimits>("limits");
        // Empty when the archive is read whole; else the error.
        QTest::addColumn<QString>("error");
        const PayloadLimits limits;
        PayloadLimits lowCeiling;
        lowCeiling.maximumUnpackedBytes = 4 << 20;
        const QString bomb = QStringLiteral("it unpacks to more than 32 times its packed size");
        const std::string eightMebibytes = HostilePackage::zeroPayload(8 << 20);

        QTest::newRow("zeros within the allowance") << QByteArray::fromStdString(eightMebibytes) << limits << QString();
        QTest::newRow("not compressed") << QByteArray::fromStdString(HostilePackage::zeroPayload(8 << 20, false)) << limits << QString();
        QTest::newRow("20 GiB of zeros") << QByteArray::fromStdString(HostilePackage::zeroPayload(std::uint64_t(20) << 30)) << limits << bomb;
        QTest::newRow("a name of 4 GiB") << QByteArray::fromStdString(HostilePackage::longNamePayload(std::uint64_t(1) << 30)) << limits
                                         << bomb;
        QTest::newRow("compressed, over the ceiling") << QByteArray::fromStdString(eightMebibytes) << lowCeiling
                                                      << QStringLiteral("it unpacks to more than 4194304 bytes");
        QTest::newRow("not compressed, over the ceiling") << QByteArray::fromStdString(HostilePackage::zeroPayload(8 << 20, false))
                                                          << lowCeiling << QStringLiteral("it unpacks to more than 4194304 bytes");
        QTest::newRow("compressed stream cut short") << QByteArray::fromStdString(eightMebibytes.substr(0, eightMebibytes.size() / 2))
                                                     << limits << QStringLiteral("its compressed stream is cut short");
    }

    void unpackingLimits()
    {
        QFETCH(QByteArray, archive);
        QFETCH(PayloadLimits, limits);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const Descriptor fd = fileWith(dir.filePath(QStringLiteral("Payload")), archive.toStdString());
        QVERIFY(fd);
        const auto entries = CpioReader::list(fd.get(), limits);
        if (error.isEmpty()) {
            QVERIFY2(entries, entries ? "" : entries.error().text.c_str());
            QCOMPARE(entries->size(), std::size_t(2));
            QCOMPARE(entries->back().size, std::uint64_t(8 << 20));
            return;
        }
        QVERIFY(!entries);
        QCOMPARE(QString::fromStdString(entries.error().text), error);
    }

    void builderProgram()
    {
        ::umask(022);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString root = dir.filePath(QStringLiteral("root"));
        const QString scripts = dir.filePath(QStringLiteral("scripts"));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/Library/Printers/CorvaneTavoren")));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/usr/lib/cups/backend")));
        QVERIFY(QDir().mkpath(scripts));
        QVERIFY(makeFile(root + QStringLiteral("/Library/Printers/CorvaneTavoren/agent"), "agent", 0700));
        QVERIFY(makeFile(root + QStringLiteral("/usr/lib/cups/backend/corvanetavoren"), "backend", 04755));
        QVERIFY(QFile::link(QStringLiteral("agent"), root + QStringLiteral("/Library/Printers/CorvaneTavoren/current")));
        QVERIFY(makeFile(scripts + QStringLiteral("/postinstall"), "#!/bin/sh\n", 0755));
        const QStringList arguments = {QStringLiteral("--identifier"), QStringLiteral("com.Corvane.TavorenInstaller"),
                                       QStringLiteral("--root"), root, QStringLiteral("--scripts"), scripts,
                                       QStringLiteral("--version"), QStringLiteral("3.1"), QStringLiteral("--install-location"),
                                       QStringLiteral("/")};
        QByteArray packages[2];
        for (int i = 0; i < 2; ++i) {
            const QString output = dir.filePath(QStringLiteral("out%1.pkg").arg(i));
            QProcess builder;
            builder.start(pkgbuild, arguments + QStringList{output});
            QVERIFY(builder.waitForFinished(20000));
            QVERIFY2(builder.exitCode() == 0, builder.readAllStandardError().constData());
            QFile file(output);
            QVERIFY(file.open(QIODevice::ReadOnly));
            packages[i] = file.readAll();
            struct stat status{};
            QVERIFY(::stat(QFile::encodeName(output).constData(), &status) == 0);
            QCOMPARE(status.st_mode & 07777, mode_t(0644));
        }
        QCOMPARE(packages[0], packages[1]);

        const Descriptor work = openFolder(dir.path());
        const auto package = FlatPackage::open(QFile::encodeName(dir.filePath(QStringLiteral("out0.pkg"))).toStdString(),
                                                      work.get(), PayloadLimits());
        QVERIFY2(package, package ? "" : package.error().text.c_str());
        const auto info = PackageInfo::fromXml(package->packageInfo);
        QVERIFY2(info, info ? "" : info.error().text.c_str());
        QCOMPARE(info->identifier, std::string("com.Corvane.TavorenInstaller"));
        QCOMPARE(info->version, std::string("3.1"));
        QCOMPARE(info->installLocation, std::string("/"));
        QCOMPARE(info->preinstall, std::string());
        QCOMPARE(info->postinstall, std::string("./postinstall"));
        const auto payload = CpioReader::list(package->payload.get(), PayloadLimits());
        QVERIFY2(payload, payload ? "" : payload.error().text.c_str());
        QStringList listed;
        for (const PayloadEntry &entry : *payload)
            listed << QStringLiteral("%1 %2 %3 %4").arg(QString::fromStdString(entry.path)).arg(int(entry.kind)).arg(entry.mode, 0, 8)
                          .arg(QString::fromStdString(entry.link));
        const auto line = [](const char *path, Kind kind, unsigned mode, const char *link = "") {
            return QStringLiteral("%1 %2 %3 %4").arg(QLatin1String(path)).arg(int(kind)).arg(mode, 0, 8).arg(QLatin1String(link));
        };
        QCOMPARE(listed, (QStringList{line("./Library", Kind::Folder, 0755), line("./Library/Printers", Kind::Folder, 0755),
                                      line("./Library/Printers/CorvaneTavoren", Kind::Folder, 0755),
                                      line("./Library/Printers/CorvaneTavoren/agent", Kind::File, 0700),
                                      line("./Library/Printers/CorvaneTavoren/current", Kind::SymbolicLink, 0777, "agent"),
                                      line("./usr", Kind::Folder, 0755), line("./usr/lib", Kind::Folder, 0755),
                                      line("./usr/lib/cups", Kind::Folder, 0755), line("./usr/lib/cups/backend", Kind::Folder, 0755),
                                      line("./usr/lib/cups/backend/corvanetavoren", Kind::File, 04755)}));
    }

    void builderRefusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        const QString usage = QStringLiteral("usage: tavoren-pkgbuild --root DIR");
        const QString out = QStringLiteral("out.pkg");
        const QString id = QStringLiteral("--identifier");
        const QString version = QStringLiteral("--version");
        QTest::newRow("no identifier") << QStringList{QStringLiteral("--root"), QStringLiteral("root"), version, QStringLiteral("1"), out} << usage;
        QTest::newRow("two outputs") << QStringList{QStringLiteral("--root"), QStringLiteral("root"), id, QStringLiteral("a"), version,
                                                    QStringLiteral("1"), out, out}
                                     << usage;
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--sign"), QStringLiteral("x"), out} << usage;
        QTest::newRow("identifier with a slash") << QStringList{QStringLiteral("--root"), QStringLiteral("root"), id, QStringLiteral("../a"),
                                                                version, QStringLiteral("1"), out}
                                                 << QStringLiteral("tavoren-pkgbuild: The identifier \"../a\" is not usable");
        QTest::newRow("missing root") << QStringList{QStringLiteral("--root"), QStringLiteral("absent"), id, QStringLiteral("a"), version,
                                                     QStringLiteral("1"), out}
                                      << QStringLiteral("tavoren-pkgbuild: Could not open \"absent\": No such file or directory");
        QTest::newRow("FIFO in the root") << QStringList{QStringLiteral("--root"), QStringLiteral("root"), id, QStringLiteral("a"), version,
                                                         QStringLiteral("1"), out}
                                          << QStringLiteral("tavoren-pkgbuild: \"root/pipe\" is neither a file, a folder nor a link");
    }

    void builderRefusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("root")));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("root/pipe"))).constData(), 0644) == 0);
        QProcess builder;
        builder.setWorkingDirectory(dir.path());
        builder.start(pkgbuild, arguments);
        QVERIFY(builder.waitForFinished(20000));
        QCOMPARE(builder.exitCode(), 1);
        const QString printed = QString::fromUtf8(builder.readAllStandardError());
        QVERIFY2(printed.startsWith(error), qPrintable(printed));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out.pkg"))));
    }
};

QTEST_GUILESS_MAIN(TestPackageFormat)
#include "tst_packageformat.moc"
