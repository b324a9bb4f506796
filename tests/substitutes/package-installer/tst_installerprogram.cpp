// The installer program as the helper tool runs it, as root under a test
// root: its lines, the files, receipt and log it leaves, its refusals, and
// how it waits for another installation.
#include "package-installer/CpioWriter.h"
#include "package-installer/PackageWriter.h"
#include "package-installer/XarWriter.h"
#include "shared/Descriptor.h"

#include "HostilePackage.h"
#include "support/TestRoot.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <plist/plist.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tavoren::packageinstaller;
using tavoren::shared::Descriptor;
using tavoren::testsupport::HostilePackage;
using tavoren::testsupport::TestRoot;
using Entries = std::vector<PayloadEntry>;
using Member = HostilePackage::Member;

namespace {
const QString installerPath = QStringLiteral(TAVOREN_TOOLS_DIR "/installer");
const QString pkgbuildPath = QStringLiteral(TAVOREN_TOOLS_DIR "/tavoren-pkgbuild");
const QString identifier = QStringLiteral("com.Corvane.TavorenInstaller");
const QString ellipsis = QStringLiteral("\u2026");
const QString packageFile = QStringLiteral("Corvane Tavoren Driver.pkg");

#define REQUIRE_ROOT()                                                                                                 \
    if (::geteuid() != 0)                                                                                              \
    QSKIP("the package installer runs as root only")

struct Run
{
    int exitCode = -1;
    QStringList lines;
    qint64 pid = 0;
};

Run runInstaller(const QStringList &arguments, const std::function<void()> &inChild = {})
{
    QProcess process;
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(installerPath, arguments);
    Run run;
    if (!process.waitForStarted(20000))
        return run;
    run.pid = process.processId();
    if (!process.waitForFinished(60000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}

Run install(const QString &package, const QString &verbosity = QStringLiteral("-verboseR"), const std::function<void()> &inChild = {})
{
    QStringList arguments = {QStringLiteral("-pkg"), package, QStringLiteral("-target"), QStringLiteral("/")};
    if (!verbosity.isEmpty())
        arguments << verbosity;
    return runInstaller(arguments, inChild);
}

bool writeFile(const QString &path, const QByteArray &content, mode_t mode)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size() && file.flush()
        && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

mode_t modeOf(const QString &path)
{
    struct stat status{};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode : 0;
}

// Every entry below a folder with its kind, mode and content; the install
// log is left out.
QStringList snapshot(const QString &root)
{
    QStringList result;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(root.size());
        if (relative == QStringLiteral("/var/log/install.log"))
            continue;
        const mode_t mode = modeOf(path);
        QString line = relative + QStringLiteral(" %1").arg(mode, 0, 8);
        if (S_ISLNK(mode))
            line += QStringLiteral(" -> ") + QFile::symLinkTarget(path);
        else if (S_ISREG(mode))
            line += QLatin1Char(' ') + QString::fromLatin1(QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha1).toHex());
        result << line;
    }
    result.sort();
    return result;
}

// The driver as the build lays it out, made into a package with the
// package builder.
class DriverSource
{
public:
    DriverSource()
    {
        const QString folder = root() + QStringLiteral("/Library/Printers/CorvaneTavoren/");
        QDir().mkpath(root() + QStringLiteral("/usr/lib/cups/backend"));
        QDir().mkpath(folder);
        m_ok = writeFile(folder + QStringLiteral("CorvaneTavorenAgent"), "agent", 0755)
            && writeFile(folder + QStringLiteral("private.key"), "secret", 0700)
            && writeFile(folder + QStringLiteral("Uninstall.sh"), "#!/bin/sh\n", 0755)
            && QFile::link(QStringLiteral("CorvaneTavorenAgent"), folder + QStringLiteral("current"))
            && writeFile(root() + QStringLiteral("/usr/lib/cups/backend/corvanetavoren"), "backend", 04755);
    }

    QString root() const { return m_dir.path() + QStringLiteral("/root"); }

    // The package at ".../OSX/Corvane Tavoren Driver.pkg", empty on failure.
    QString build(const QByteArray &preinstall = "#!/bin/sh\necho \"preinstall $1|$2|$3|$PACKAGE_PATH|$DSTROOT|$DSTVOLUME|$INSTALLER_TEMP\"\n",
                  const QByteArray &postinstall = "#!/bin/sh\necho postinstall ran\n")
    {
        const QString scripts = m_dir.path() + QStringLiteral("/scripts");
        const QString output = m_dir.path() + QStringLiteral("/OSX/") + packageFile;
        QDir().mkpath(QFileInfo(output).path());
        if (!m_ok || !writeFile(scripts + QStringLiteral("/preinstall"), preinstall, 0755)
            || !writeFile(scripts + QStringLiteral("/postinstall"), postinstall, 0755))
            return QString();
        QProcess builder;
        builder.start(pkgbuildPath, {QStringLiteral("--root"), root(), QStringLiteral("--scripts"), scripts, QStringLiteral("--identifier"),
                                     identifier, QStringLiteral("--version"), QStringLiteral("1.0"), QStringLiteral("--install-location"),
                                     QStringLiteral("/"), output});
        return builder.waitForFinished(20000) && builder.exitCode() == 0 ? output : QString();
    }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

// A package laid out by the library, as given, hostile or not.
QString writePackage(const QString &folder, const Entries &payload, const QString &version = QStringLiteral("1"),
                     const Entries &scripts = {}, const std::string &location = "/")
{
    PackageWriter::Contents contents;
    contents.info.identifier = identifier.toStdString();
    contents.info.version = version.toStdString();
    contents.info.installLocation = location;
    contents.payload = payload;
    contents.scripts = scripts;
    for (const PayloadEntry &script : scripts)
        (script.path == "./preinstall" ? contents.info.preinstall : contents.info.postinstall) = script.path;
    const QString path = folder + QLatin1Char('/') + packageFile;
    return PackageWriter::writeFile(contents, QFile::encodeName(path).toStdString()) ? path : QString();
}

QString writeMembers(const QString &folder, const std::vector<XarWriter::Member> &members)
{
    const auto bytes = XarWriter::write(members, 0);
    if (!bytes)
        return QString();
    const QString path = folder + QLatin1Char('/') + packageFile;
    return writeFile(path, QByteArray::fromStdString(*bytes), 0644) ? path : QString();
}

QString writeBytes(const QString &folder, const std::string &bytes)
{
    const QString path = folder + QLatin1Char('/') + packageFile;
    return !bytes.empty() && writeFile(path, QByteArray::fromStdString(bytes), 0644) ? path : QString();
}

std::string payloadOf(const Entries &entries)
{
    auto bytes = CpioWriter::write(entries);
    return bytes ? std::move(*bytes) : std::string();
}

// The lines of a run: "P" phases, "S" status lines, "%" percentages, "M"
// messages, as -verboseR or -verbose prints them.
QStringList printed(const QList<QPair<char, QString>> &steps, bool progress)
{
    QStringList lines;
    for (const auto &[kind, text] : steps) {
        if (kind == 'M')
            lines << QStringLiteral("installer: ") + text;
        else if (kind == 'P')
            lines << (progress ? QStringLiteral("installer:PHASE:") : QStringLiteral("installer: ")) + text;
        else if (progress && kind == 'S')
            lines << QStringLiteral("installer:STATUS:") + text;
        else if (progress && kind == '%')
            lines << QStringLiteral("installer:%") + text;
    }
    return lines;
}

QStringList receiptPaths(const TestRoot &root)
{
    return QString::fromUtf8(readFile(root.system(QStringLiteral("/var/db/receipts/") + identifier + QStringLiteral(".paths"))))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Whether the process waits for a flock(2) that another holds.
bool waitsForLock(qint64 pid)
{
    const QStringList lines = QString::fromLatin1(readFile(QStringLiteral("/proc/locks"))).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() > 5 && fields[1] == QStringLiteral("->") && fields[5] == QString::number(pid))
            return true;
    }
    return false;
}

// The package of the leftover tests: a folder tree with a file, a link and
// a hard link, as a second version.
Entries appTree(const std::string &version)
{
    return {PayloadEntry::folder("./opt"), PayloadEntry::folder("./opt/app"), PayloadEntry::file("./opt/app/bin", "binary " + version, 0755),
            PayloadEntry::symbolicLink("./opt/app/current", "bin"), PayloadEntry::folder("./opt/app/lib"),
            PayloadEntry::file("./opt/app/lib/data", "data " + version), PayloadEntry::hardLink("./opt/app/lib/same", "./opt/app/lib/data")};
}

// The entries below a folder whose names the installer uses for a while.
QStringList temporaryNames(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().startsWith(QStringLiteral(".tavoren-")))
            found << path;
    }
    return found;
}
} // namespace

class TestInstallerProgram : public QObject
{
    Q_OBJECT

private slots:
    void progressLines_data()
    {
        QTest::addColumn<QString>("verbosity");
        QTest::addColumn<bool>("upgrade");
        QTest::newRow("-verboseR, first installation") << QStringLiteral("-verboseR") << false;
        QTest::newRow("-verboseR, upgrade") << QStringLiteral("-verboseR") << true;
        QTest::newRow("-verbose, first installation") << QStringLiteral("-verbose") << false;
        QTest::newRow("-verbose, upgrade") << QStringLiteral("-verbose") << true;
    }

    void progressLines()
    {
        REQUIRE_ROOT();
        QFETCH(QString, verbosity);
        QFETCH(bool, upgrade);
        const bool progress = verbosity == QStringLiteral("-verboseR");
        TestRoot root;
        DriverSource source;
        const QString package = source.build();
        QVERIFY(!package.isEmpty());
        if (upgrade)
            QCOMPARE(install(package, QString()).exitCode, 0);
        const Run run = install(package, verbosity);
        QCOMPARE(run.exitCode, 0);

        const QStringList head = printed({{'M', QStringLiteral("Package name is Corvane Tavoren Driver")},
                                          {'M', (upgrade ? QStringLiteral("Upgrading") : QStringLiteral("Installing")) + QStringLiteral(" at base path /")},
                                          {'P', QStringLiteral("Preparing for installation") + ellipsis},
                                          {'P', QStringLiteral("Preparing the disk") + ellipsis},
                                          {'P', QStringLiteral("Preparing Corvane Tavoren Driver") + ellipsis},
                                          {'P', QStringLiteral("Waiting for other installations to complete") + ellipsis},
                                          {'P', QStringLiteral("Configuring the installation") + ellipsis},
                                          {'S', QStringLiteral("Running installer actions") + ellipsis},
                                          {'%', QStringLiteral("10.000000")}},
                                         progress);
        const QStringList tail = printed({{'S', QStringLiteral("Moving items into place") + ellipsis},
                                          {'P', QStringLiteral("Running package scripts") + ellipsis},
                                          {'S', QStringLiteral("Writing package receipts") + ellipsis},
                                          {'P', QStringLiteral("Validating packages") + ellipsis},
                                          {'%', QStringLiteral("97.750000")},
                                          {'P', QStringLiteral("Registering updated applications") + ellipsis},
                                          {'S', QStringLiteral("Cleaning up") + ellipsis},
                                          {'P', QStringLiteral("Finishing the Installation") + ellipsis},
                                          {'S', QStringLiteral("Optimising system for installed software") + ellipsis},
                                          {'%', QStringLiteral("100.000000")},
                                          {'P', QStringLiteral("The software was successfully installed.")},
                                          {'M', upgrade ? QStringLiteral("The upgrade was successful.") : QStringLiteral("The install was successful.")}},
                                         progress);
        QVERIFY2(run.lines.size() > head.size() + tail.size(), qPrintable(run.lines.join(QLatin1Char('\n'))));
        QCOMPARE(run.lines.mid(0, head.size()), head);
        QCOMPARE(run.lines.mid(run.lines.size() - tail.size()), tail);

        // Between them, "Writing files…" as often as needed, each followed
        // by a percentage with -verboseR.
        const QStringList writing = run.lines.mid(head.size(), run.lines.size() - head.size() - tail.size());
        const QString writingLine = printed({{'P', QStringLiteral("Writing files") + ellipsis}}, progress).constFirst();
        const QRegularExpression percent(QStringLiteral("^installer:%(\\d+\\.\\d{6})$"));
        for (qsizetype i = 0; i < writing.size(); ++i) {
            if (progress && i % 2 == 1)
                QVERIFY2(percent.match(writing[i]).hasMatch(), qPrintable(writing[i]));
            else
                QCOMPARE(writing[i], writingLine);
        }
        QVERIFY(!progress || writing.size() % 2 == 0);

        double last = 0;
        for (const QString &line : run.lines) {
            if (!line.startsWith(QStringLiteral("installer:%")))
                continue;
            QVERIFY2(percent.match(line).hasMatch(), qPrintable(line));
            const double value = line.mid(11).toDouble();
            QVERIFY2(value >= last && value <= 100, qPrintable(line));
            last = value;
        }
    }

    void receiptListsWhatThisInstallationOwns()
    {
        REQUIRE_ROOT();
        TestRoot root;
        // Folders of the system that the package also names.
        root.makeDir(QStringLiteral("/usr/lib/cups/backend"));
        DriverSource source;
        const QString package = source.build();
        QVERIFY(!package.isEmpty());
        // The test root has /Library already: it is not the package's.
        const QStringList owned = {QStringLiteral("/Library/Printers"),
                                   QStringLiteral("/Library/Printers/CorvaneTavoren"),
                                   QStringLiteral("/Library/Printers/CorvaneTavoren/CorvaneTavorenAgent"),
                                   QStringLiteral("/Library/Printers/CorvaneTavoren/Uninstall.sh"),
                                   QStringLiteral("/Library/Printers/CorvaneTavoren/current"),
                                   QStringLiteral("/Library/Printers/CorvaneTavoren/private.key"),
                                   QStringLiteral("/usr/lib/cups/backend/corvanetavoren")};
        const QString plistPath = root.system(QStringLiteral("/var/db/receipts/") + identifier + QStringLiteral(".plist"));

        // The second installation finds the folders there, and keeps them
        // because the first receipt lists them.
        for (int round = 0; round < 2; ++round) {
            const qint64 before = QDateTime::currentSecsSinceEpoch();
            QCOMPARE(install(package).exitCode, 0);
            const qint64 after = QDateTime::currentSecsSinceEpoch();

            QStringList paths = receiptPaths(root);
            for (qsizetype i = 0; i < paths.size(); ++i) {
                const QString parent = QFileInfo(paths[i]).path();
                QVERIFY2(!paths.contains(parent) || paths.indexOf(parent) < i, qPrintable(paths[i]));
            }
            QStringList sorted = paths;
            sorted.sort();
            QCOMPARE(sorted, owned);
            QCOMPARE(modeOf(plistPath) & 07777, mode_t(0644));

            const QByteArray xml = readFile(plistPath);
            QVERIFY(xml.startsWith("<?xml"));
            plist_t parsed = nullptr;
            plist_from_xml(xml.constData(), uint32_t(xml.size()), &parsed);
            const std::unique_ptr<void, void (*)(void *)> receipt(parsed, [](void *node) { plist_free(static_cast<plist_t>(node)); });
            QVERIFY(parsed && plist_get_node_type(parsed) == PLIST_DICT);
            const auto text = [parsed](const char *key) {
                plist_t node = plist_dict_get_item(parsed, key);
                char *value = nullptr;
                if (node && plist_get_node_type(node) == PLIST_STRING)
                    plist_get_string_val(node, &value);
                const QString result = value ? QString::fromUtf8(value) : QStringLiteral("(missing)");
                std::free(value);
                return result;
            };
            QCOMPARE(text("PackageIdentifier"), identifier);
            QCOMPARE(text("PackageVersion"), QStringLiteral("1.0"));
            QCOMPARE(text("InstallPrefixPath"), QStringLiteral("/"));
            QCOMPARE(text("InstallProcessName"), QStringLiteral("installer"));
            plist_t date = plist_dict_get_item(parsed, "InstallDate");
            QVERIFY(date && plist_get_node_type(date) == PLIST_DATE);
            int32_t seconds = 0;
            int32_t micros = 0;
            plist_get_date_val(date, &seconds, &micros);
            const qint64 installed = qint64(seconds) + 978307200; // property-list dates count from 2001
            QVERIFY(installed >= before && installed <= after);
            plist_t list = plist_dict_get_item(parsed, "InstalledPaths");
            QVERIFY(list && plist_get_node_type(list) == PLIST_ARRAY);
            QStringList listed;
            for (uint32_t i = 0; i < plist_array_get_size(list); ++i) {
                char *value = nullptr;
                plist_get_string_val(plist_array_get_item(list, i), &value);
                listed << QString::fromUtf8(value);
                std::free(value);
            }
            QCOMPARE(listed, paths);
        }
    }

    void installedFilesKeepModesAndLinks()
    {
        REQUIRE_ROOT();
        TestRoot root;
        DriverSource source;
        const QString package = source.build();
        QVERIFY(!package.isEmpty());
        QCOMPARE(install(package).exitCode, 0);
        const QString folder = root.system(QStringLiteral("/Library/Printers/CorvaneTavoren/"));
        QCOMPARE(readFile(folder + QStringLiteral("CorvaneTavorenAgent")), QByteArray("agent"));
        QCOMPARE(modeOf(folder + QStringLiteral("CorvaneTavorenAgent")), mode_t(S_IFREG | 0755));
        QCOMPARE(modeOf(folder + QStringLiteral("private.key")), mode_t(S_IFREG | 0700));
        QCOMPARE(readFile(folder + QStringLiteral("private.key")), QByteArray("secret"));
        QCOMPARE(QFile::symLinkTarget(folder + QStringLiteral("current")), folder + QStringLiteral("CorvaneTavorenAgent"));
        QVERIFY(S_ISLNK(modeOf(folder + QStringLiteral("current"))));
        // Set-user-ID is dropped; the rest of the mode stays.
        const QString backend = root.system(QStringLiteral("/usr/lib/cups/backend/corvanetavoren"));
        QCOMPARE(modeOf(backend), mode_t(S_IFREG | 0755));
        QCOMPARE(readFile(backend), QByteArray("backend"));
        struct stat status{};
        QVERIFY(::stat(QFile::encodeName(backend).constData(), &status) == 0);
        QCOMPARE(status.st_uid, uid_t(0));
        // No temporary names stay behind, nor the private folder.
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
                 (QStringList{QStringLiteral("CorvaneTavorenAgent"), QStringLiteral("Uninstall.sh"), QStringLiteral("current"),
                              QStringLiteral("private.key")}));
        QCOMPARE(QDir(root.system(QStringLiteral("/var/tmp"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    // A package for another install location, with a hard link and a
    // folder that comes after what it holds.
    void hardLinksBelowAnInstallLocation()
    {
        REQUIRE_ROOT();
        TestRoot root;
        QTemporaryDir dir;
        const QString package = writePackage(dir.path(), {PayloadEntry::file("./bin/tool", "tool", 0750), PayloadEntry::folder("./bin", 0711),
                                                          PayloadEntry::hardLink("./bin/tool2", "./bin/tool")},
                                             QStringLiteral("1"), {}, "/opt/corvane");
        QVERIFY(!package.isEmpty());
        QCOMPARE(install(package).exitCode, 0);
        const QString tool = root.system(QStringLiteral("/opt/corvane/bin/tool"));
        struct stat first{};
        struct stat second{};
        QVERIFY(::lstat(QFile::encodeName(tool).constData(), &first) == 0);
        QVERIFY(::lstat(QFile::encodeName(tool + QLatin1Char('2')).constData(), &second) == 0);
        QCOMPARE(first.st_ino, second.st_ino);
        QCOMPARE(first.st_mode, mode_t(S_IFREG | 0750));
        QCOMPARE(readFile(tool + QLatin1Char('2')), QByteArray("tool"));
        QCOMPARE(modeOf(root.system(QStringLiteral("/opt/corvane/bin"))), mode_t(S_IFDIR | 0711));
        QCOMPARE(receiptPaths(root), (QStringList{QStringLiteral("/opt"), QStringLiteral("/opt/corvane"), QStringLiteral("/opt/corvane/bin"),
                                                  QStringLiteral("/opt/corvane/bin/tool"), QStringLiteral("/opt/corvane/bin/tool2")}));
    }

    void installLogHasEveryLine()
    {
        REQUIRE_ROOT();
        TestRoot root;
        DriverSource source;
        const QString package = source.build();
        QVERIFY(!package.isEmpty());
        const Run run = install(package);
        QCOMPARE(run.exitCode, 0);

        char host[256] = {};
        QVERIFY(::gethostname(host, sizeof host - 1) == 0);
        const QRegularExpression dated(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d[+-]\\d{4} (.+) installer\\[(\\d+)\\]: (.*)$"));
        QStringList messages;
        const QStringList logged = QString::fromUtf8(readFile(root.system(QStringLiteral("/var/log/install.log")))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : logged) {
            const QRegularExpressionMatch match = dated.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            QCOMPARE(match.captured(1), QString::fromLocal8Bit(host));
            QCOMPARE(match.captured(2).toLongLong(), run.pid);
            messages << match.captured(3);
        }

        // The preinstall script is run as SCRIPT PACKAGE TARGET TARGET with
        // the package's environment.
        qsizetype scriptLine = 0;
        while (scriptLine < messages.size() && !messages[scriptLine].startsWith(QStringLiteral("preinstall ")))
            ++scriptLine;
        QVERIFY(scriptLine < messages.size());
        const QStringList parts = messages[scriptLine].mid(11).split(QLatin1Char('|'));
        QCOMPARE(parts.size(), 7);
        QCOMPARE(parts.mid(0, 6), (QStringList{package, root.path(), root.path(), package, root.path(), root.path()}));
        QVERIFY2(parts[6].startsWith(root.system(QStringLiteral("/var/tmp/installer."))), qPrintable(parts[6]));
        messages[scriptLine] = QStringLiteral("(preinstall)");

        QStringList expected;
        for (const QString &line : run.lines) {
            if (line.startsWith(QStringLiteral("installer:%")))
                continue;
            expected << line;
            if (line == QStringLiteral("installer:STATUS:Running installer actions") + ellipsis)
                expected << QStringLiteral("(preinstall)");
            if (line == QStringLiteral("installer:PHASE:Running package scripts") + ellipsis)
                expected << QStringLiteral("postinstall ran");
        }
        QCOMPARE(messages, expected);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("kind");
        // %1 is the package path; a line ending in "(" is a beginning.
        QTest::addColumn<QString>("line");
        // Everything below the root stays as it was (the log aside).
        QTest::addColumn<bool>("untouched");
        const QString invalid = QStringLiteral("installer: Error - the package path specified was invalid: '%1'.");
        const QString failed = QStringLiteral("installer: The install failed. (");
        QTest::newRow("missing package") << QStringLiteral("missing") << invalid << true;
        QTest::newRow("folder for a package") << QStringLiteral("folder") << invalid << true;
        QTest::newRow("not a package") << QStringLiteral("text") << invalid << true;
        QTest::newRow("no PackageInfo") << QStringLiteral("no info")
                                        << failed + QStringLiteral("The package is damaged: it has no PackageInfo.)") << true;
        QTest::newRow("payload not an archive") << QStringLiteral("bad payload")
                                                << failed + QStringLiteral("The package is damaged: its payload cannot be read (") << true;
        QTest::newRow("no identifier") << QStringLiteral("no identifier")
                                       << failed + QStringLiteral("The package is damaged: its PackageInfo names no identifier or no version.)")
                                       << true;
        QTest::newRow("identifier naming a path") << QStringLiteral("path identifier")
                                                  << failed + QStringLiteral("The package is damaged: its identifier \"../../etc/x\" cannot name a receipt.)")
                                                  << true;
        QTest::newRow("preinstall fails") << QStringLiteral("preinstall")
                                          << failed + QStringLiteral("The preinstall script failed with exit status 3.)") << false;
        QTest::newRow("postinstall fails") << QStringLiteral("postinstall")
                                           << failed + QStringLiteral("The postinstall script failed with exit status 4.)") << false;
        QTest::newRow("dot-dot") << QStringLiteral("dot-dot")
                                 << failed + QStringLiteral("The payload item \"./opt/../../escape\" has a \"..\" component.)") << true;
        QTest::newRow("absolute path") << QStringLiteral("absolute")
                                       << failed + QStringLiteral("The payload item \"/etc/escape\" is an absolute path.)") << true;
        QTest::newRow("link leading out") << QStringLiteral("link out")
                                          << failed + QStringLiteral("The payload item \"./opt/etc\" is a link that leads out of the target.)")
                                          << true;
        // A cpio hard link joins an earlier entry: the escaping one, refused first.
        QTest::newRow("hard link out") << QStringLiteral("hard link out")
                                       << failed + QStringLiteral("The payload item \"../../etc/hosts\" has a \"..\" component.)") << true;
        QTest::newRow("FIFO") << QStringLiteral("fifo") << failed + QStringLiteral("The payload item \"./opt/pipe\" is a FIFO.)") << true;
        QTest::newRow("path through a link of the target")
            << QStringLiteral("target link")
            << failed + QStringLiteral("The payload item \"./opt/ok\" lies behind the link \"/opt\" of the target.)") << true;
        // Refused before libarchive reads the table, or the bomb, whole.
        const QString bomb = QStringLiteral("cannot be read (it unpacks to more than 32 times its packed size).)");
        const QString damaged = failed + QStringLiteral("The package is damaged: ");
        QTest::newRow("a million members") << QStringLiteral("members")
                                           << damaged + QStringLiteral("its table of contents is larger than 1048576 bytes.)") << true;
        QTest::newRow("payload of 20 GiB of zeros") << QStringLiteral("payload bomb") << damaged + QStringLiteral("its payload ") + bomb << true;
        QTest::newRow("scripts of 4 GiB of zeros") << QStringLiteral("scripts bomb") << damaged + QStringLiteral("its scripts ") + bomb << true;
        QTest::newRow("member deflated to 4 GiB of zeros") << QStringLiteral("member bomb") << damaged + QStringLiteral("its Payload ") + bomb
                                                           << true;
    }

    void failures()
    {
        REQUIRE_ROOT();
        QFETCH(QString, kind);
        QFETCH(QString, line);
        QFETCH(bool, untouched);
        TestRoot root;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const PayloadEntry library = PayloadEntry::folder("./opt");
        const PayloadEntry ok = PayloadEntry::file("./opt/ok", "fine");
        const std::string info = "<pkg-info format-version=\"2\" identifier=\"" + identifier.toStdString() + "\" version=\"1\"/>";
        QString package = dir.filePath(packageFile);
        if (kind == QStringLiteral("folder"))
            QVERIFY(QDir().mkpath(package));
        else if (kind == QStringLiteral("text"))
            QVERIFY(writeFile(package, "just text\n", 0644));
        else if (kind == QStringLiteral("no info"))
            package = writeMembers(dir.path(), {{"Payload", payloadOf({library, ok})}});
        else if (kind == QStringLiteral("bad payload"))
            package = writeMembers(dir.path(), {{"PackageInfo", info}, {"Payload", "not an archive"}});
        else if (kind == QStringLiteral("no identifier"))
            package = writeMembers(dir.path(), {{"PackageInfo", "<pkg-info version=\"1\"/>"}, {"Payload", payloadOf({library, ok})}});
        else if (kind == QStringLiteral("path identifier"))
            package = writeMembers(dir.path(), {{"PackageInfo", "<pkg-info identifier=\"../../etc/x\" version=\"1\"/>"},
                                                {"Payload", payloadOf({library, ok})}});
        else if (kind == QStringLiteral("preinstall"))
            package = writePackage(dir.path(), {library, ok}, QStringLiteral("1"), {PayloadEntry::file("./preinstall", "#!/bin/sh\nexit 3\n", 0755)});
        else if (kind == QStringLiteral("postinstall"))
            package = writePackage(dir.path(), {library, ok}, QStringLiteral("1"), {PayloadEntry::file("./postinstall", "#!/bin/sh\nexit 4\n", 0755)});
        else if (kind == QStringLiteral("dot-dot"))
            package = writePackage(dir.path(), {library, ok, PayloadEntry::file("./opt/../../escape", "x")});
        else if (kind == QStringLiteral("absolute"))
            package = writePackage(dir.path(), {library, ok, PayloadEntry::file("/etc/escape", "x")});
        else if (kind == QStringLiteral("link out"))
            package = writePackage(dir.path(), {library, ok, PayloadEntry::symbolicLink("./opt/etc", "../../etc")});
        else if (kind == QStringLiteral("hard link out"))
            package = writePackage(dir.path(), {library, ok, PayloadEntry::file("../../etc/hosts", "x"),
                                                PayloadEntry::hardLink("./opt/hosts", "../../etc/hosts")});
        else if (kind == QStringLiteral("fifo"))
            package = writePackage(dir.path(), {library, ok, PayloadEntry::special("./opt/pipe", PayloadEntry::Kind::Fifo)});
        else if (kind == QStringLiteral("members"))
            package = writeBytes(dir.path(), HostilePackage::xar({}, 1000000));
        else if (kind == QStringLiteral("payload bomb"))
            package = writeBytes(dir.path(), HostilePackage::xar({Member::stored("PackageInfo", info),
                                                                  Member::stored("Payload", HostilePackage::zeroPayload(std::uint64_t(20) << 30))}));
        else if (kind == QStringLiteral("scripts bomb"))
            package = writeBytes(dir.path(), HostilePackage::xar({Member::stored("PackageInfo", info),
                                                                  Member::stored("Payload", payloadOf({library, ok})),
                                                                  Member::stored("Scripts", HostilePackage::zeroPayload(std::uint64_t(4) << 30))}));
        else if (kind == QStringLiteral("member bomb"))
            package = writeBytes(dir.path(), HostilePackage::xar({Member::stored("PackageInfo", info),
                                                                  {"Payload", HostilePackage::zlibZeros(std::uint64_t(4) << 30),
                                                                   std::uint64_t(4) << 30, "application/x-gzip"}}));
        else if (kind == QStringLiteral("target link")) {
            QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("elsewhere"))));
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere")), root.system(QStringLiteral("/opt"))));
            package = writePackage(dir.path(), {ok});
        }
        QVERIFY(!package.isEmpty());

        const QStringList before = snapshot(root.path());
        const Run run = install(package);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!run.lines.isEmpty());
        const QString expected = line.contains(QStringLiteral("%1")) ? line.arg(package) : line;
        if (expected.endsWith(QLatin1Char('(')))
            QVERIFY2(run.lines.constLast().startsWith(expected), qPrintable(run.lines.constLast()));
        else
            QCOMPARE(run.lines.constLast(), expected);
        // The package name comes first once there is a package.
        if (!line.startsWith(QStringLiteral("installer: Error")))
            QCOMPARE(run.lines.constFirst(), QStringLiteral("installer: Package name is Corvane Tavoren Driver"));
        QVERIFY(!QFile::exists(root.system(QStringLiteral("/var/db/receipts/") + identifier + QStringLiteral(".plist"))));
        QVERIFY(!QFile::exists(root.system(QStringLiteral("/var/db/receipts/") + identifier + QStringLiteral(".paths"))));
        if (untouched)
            QCOMPARE(snapshot(root.path()), before);
        if (kind == QStringLiteral("preinstall"))
            QVERIFY(!QFile::exists(root.system(QStringLiteral("/opt"))));
        if (kind == QStringLiteral("postinstall"))
            QCOMPARE(readFile(root.system(QStringLiteral("/opt/ok"))), QByteArray("fine"));
        if (kind == QStringLiteral("target link"))
            QCOMPARE(QDir(dir.filePath(QStringLiteral("elsewhere"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    void refusesWhenNotRoot()
    {
        REQUIRE_ROOT();
        TestRoot root;
        DriverSource source;
        const QString package = source.build();
        QVERIFY(!package.isEmpty());
        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        QVERIFY(::chmod(QFile::encodeName(root.path()).constData(), 0755) == 0);
        const QStringList before = snapshot(root.path());
        QProcess process;
        process.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=%1").arg(nobody->pw_uid), QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                                                  QStringLiteral("--clear-groups"), installerPath, QStringLiteral("-pkg"), package,
                                                  QStringLiteral("-target"), QStringLiteral("/"), QStringLiteral("-verboseR")});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(process.readAllStandardOutput(), QByteArray("installer: Must be run as root to install this package.\n"));
        QCOMPARE(snapshot(root.path()), before);
        QVERIFY(!QFile::exists(root.system(QStringLiteral("/var/log/install.log"))));
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("no target") << QStringList{QStringLiteral("-pkg"), QStringLiteral("a.pkg"), QStringLiteral("-verboseR")};
        QTest::newRow("no package path") << QStringList{QStringLiteral("-target"), QStringLiteral("/"), QStringLiteral("-pkg")};
        QTest::newRow("unknown option") << QStringList{QStringLiteral("-pkg"), QStringLiteral("a.pkg"), QStringLiteral("-target"), QStringLiteral("/"),
                                                       QStringLiteral("-allowUntrusted")};
        QTest::newRow("two verbosities") << QStringList{QStringLiteral("-pkg"), QStringLiteral("a.pkg"), QStringLiteral("-target"), QStringLiteral("/"),
                                                        QStringLiteral("-verbose"), QStringLiteral("-verboseR")};
    }

    void usage()
    {
        QFETCH(QStringList, arguments);
        TestRoot root;
        QProcess process;
        process.start(installerPath, arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(process.readAllStandardError().startsWith("usage: installer -pkg PATH -target DIR"));
        QCOMPARE(process.readAllStandardOutput(), QByteArray());
    }

    // Files are written under other names and renamed into place once all
    // are written: a failure halfway leaves every installed file whole, and
    // a reader of the old file keeps all of it.
    void installedFilesAreReplacedWhole()
    {
        REQUIRE_ROOT();
        TestRoot root;
        QTemporaryDir first;
        QTemporaryDir second;
        const QByteArray old(5000, 'o');
        const QString v1 = writePackage(first.path(), {PayloadEntry::folder("./opt"), PayloadEntry::file("./opt/a.txt", old.toStdString())});
        const QString v2 = writePackage(second.path(), {PayloadEntry::folder("./opt"), PayloadEntry::file("./opt/a.txt", std::string(6000, 'n')),
                                                        PayloadEntry::file("./opt/z.bin", std::string(256 * 1024, '\0'))},
                                        QStringLiteral("2"));
        QVERIFY(!v1.isEmpty() && !v2.isEmpty());
        QCOMPARE(install(v1).exitCode, 0);
        const QString installed = root.system(QStringLiteral("/opt/a.txt"));
        QFile reader(installed);
        QVERIFY(reader.open(QIODevice::ReadOnly));

        // Files larger than 64 KiB cannot be written: z.bin fails after a.txt.
        const Run failed = install(v2, QStringLiteral("-verboseR"), [] {
            const rlimit limit{64 * 1024, 64 * 1024};
            ::signal(SIGXFSZ, SIG_IGN);
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(99);
        });
        QCOMPARE(failed.exitCode, 1);
        QCOMPARE(failed.lines.constLast(), QStringLiteral("installer: The upgrade failed. (Could not write \"/opt/z.bin\": File too large.)"));
        QCOMPARE(readFile(installed), old);
        QCOMPARE(QDir(root.system(QStringLiteral("/opt"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("a.txt")});
        QVERIFY(readFile(root.system(QStringLiteral("/var/db/receipts/") + identifier + QStringLiteral(".plist"))).contains("<string>1</string>"));

        QCOMPARE(install(v2).exitCode, 0);
        QCOMPARE(readFile(installed), QByteArray(6000, 'n'));
        QCOMPARE(reader.readAll(), old);
    }

    // What stands where the package has something of another kind is moved
    // out of the way and removed, never followed: the installation
    // succeeds, and nothing outside the target changes.
    void installsOverLeftovers_data()
    {
        QTest::addColumn<QString>("leftover");
        QTest::newRow("foreign items beside the package's") << QStringLiteral("beside");
        QTest::newRow("folder full of files where a file goes") << QStringLiteral("folder for file");
        QTest::newRow("file where a folder goes") << QStringLiteral("file for folder");
        // Links to folders not made by root; root's own are the system's (below).
        QTest::newRow("link to a folder outside where a folder goes") << QStringLiteral("link for folder");
        QTest::newRow("link to a folder outside where the top folder goes") << QStringLiteral("link for top folder");
        QTest::newRow("dangling link where a folder goes") << QStringLiteral("dangling link for folder");
        QTest::newRow("link to a file outside where a file goes") << QStringLiteral("link for file");
        QTest::newRow("folder full of files where a link goes") << QStringLiteral("folder for link");
        QTest::newRow("upgrade from a version with other kinds") << QStringLiteral("upgrade");
    }

    void installsOverLeftovers()
    {
        REQUIRE_ROOT();
        QFETCH(QString, leftover);
        TestRoot root;
        QTemporaryDir outside;
        QTemporaryDir packages;
        QVERIFY(outside.isValid() && packages.isValid());
        const QString marker = outside.filePath(QStringLiteral("marker"));
        const QString outsideFolder = outside.filePath(QStringLiteral("folder"));
        QVERIFY(writeFile(marker, "marker", 0644) && writeFile(outsideFolder + QStringLiteral("/inner"), "inner", 0644));
        const QStringList outsideBefore = snapshot(outside.path());
        const QString app = root.system(QStringLiteral("/opt/app"));
        const auto link = [](const QString &target, const QString &at) { return QDir().mkpath(QFileInfo(at).path()) && QFile::link(target, at); };
        const auto notRoots = [](const QString &at) { return ::lchown(QFile::encodeName(at).constData(), 65534, 65534) == 0; };
        // A folder with files, a folder and links that lead outside.
        const auto fullFolder = [&](const QString &at) {
            return writeFile(at + QStringLiteral("/a"), "a", 0644) && writeFile(at + QStringLiteral("/deep/b"), "b", 0600)
                && QFile::link(marker, at + QStringLiteral("/deep/to-marker")) && QFile::link(outsideFolder, at + QStringLiteral("/to-folder"));
        };

        bool upgrade = false;
        if (leftover == QStringLiteral("beside")) {
            QVERIFY(writeFile(app + QStringLiteral("/extra.txt"), "extra", 0644));
            QVERIFY(writeFile(app + QStringLiteral("/lib/extra/x"), "x", 0644));
            QVERIFY(writeFile(root.system(QStringLiteral("/opt/other/y")), "y", 0644));
        } else if (leftover == QStringLiteral("folder for file")) {
            QVERIFY(fullFolder(app + QStringLiteral("/bin")));
        } else if (leftover == QStringLiteral("file for folder")) {
            QVERIFY(writeFile(app + QStringLiteral("/lib"), "old lib", 0644));
        } else if (leftover == QStringLiteral("link for folder")) {
            QVERIFY(link(outsideFolder, app + QStringLiteral("/lib")) && notRoots(app + QStringLiteral("/lib")));
        } else if (leftover == QStringLiteral("link for top folder")) {
            QVERIFY(link(outsideFolder, root.system(QStringLiteral("/opt"))) && notRoots(root.system(QStringLiteral("/opt"))));
        } else if (leftover == QStringLiteral("dangling link for folder")) {
            QVERIFY(link(outside.filePath(QStringLiteral("missing")), app + QStringLiteral("/lib")));
        } else if (leftover == QStringLiteral("link for file")) {
            QVERIFY(link(marker, app + QStringLiteral("/bin")));
        } else if (leftover == QStringLiteral("folder for link")) {
            QVERIFY(fullFolder(app + QStringLiteral("/current")));
        } else if (leftover == QStringLiteral("upgrade")) {
            // Version 1 had a folder, a file and a file where version 2 has
            // a file, a folder and a link.
            const QString v1 = writePackage(packages.path(), {PayloadEntry::folder("./opt"), PayloadEntry::folder("./opt/app"),
                                                              PayloadEntry::folder("./opt/app/bin"), PayloadEntry::file("./opt/app/bin/tool", "tool"),
                                                              PayloadEntry::file("./opt/app/lib", "lib 1"), PayloadEntry::file("./opt/app/current", "1")});
            QVERIFY(!v1.isEmpty());
            QCOMPARE(install(v1).exitCode, 0);
            QVERIFY(QFile::rename(v1, v1 + QStringLiteral(".1")));
            upgrade = true;
        }

        const QString package = writePackage(packages.path(), appTree("2"), QStringLiteral("2"));
        QVERIFY(!package.isEmpty());
        const Run run = install(package);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.lines.constLast(), upgrade ? QStringLiteral("installer: The upgrade was successful.")
                                                : QStringLiteral("installer: The install was successful."));

        QVERIFY(S_ISDIR(modeOf(root.system(QStringLiteral("/opt")))));
        QCOMPARE(modeOf(app + QStringLiteral("/bin")), mode_t(S_IFREG | 0755));
        QCOMPARE(readFile(app + QStringLiteral("/bin")), QByteArray("binary 2"));
        QVERIFY(S_ISLNK(modeOf(app + QStringLiteral("/current"))));
        QCOMPARE(QFile::symLinkTarget(app + QStringLiteral("/current")), app + QStringLiteral("/bin"));
        QVERIFY(S_ISDIR(modeOf(app + QStringLiteral("/lib"))));
        QCOMPARE(readFile(app + QStringLiteral("/lib/data")), QByteArray("data 2"));
        QCOMPARE(readFile(app + QStringLiteral("/lib/same")), QByteArray("data 2"));
        QCOMPARE(snapshot(outside.path()), outsideBefore);
        QCOMPARE(temporaryNames(root.path()), QStringList());
        if (leftover == QStringLiteral("beside")) {
            QCOMPARE(readFile(app + QStringLiteral("/extra.txt")), QByteArray("extra"));
            QCOMPARE(readFile(app + QStringLiteral("/lib/extra/x")), QByteArray("x"));
            QCOMPARE(readFile(root.system(QStringLiteral("/opt/other/y"))), QByteArray("y"));
        } else {
            // Nothing but the package's items stays where they go.
            QCOMPARE(QDir(app).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
                     (QStringList{QStringLiteral("bin"), QStringLiteral("current"), QStringLiteral("lib")}));
            QCOMPARE(QDir(app + QStringLiteral("/lib")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
                     (QStringList{QStringLiteral("data"), QStringLiteral("same")}));
        }
    }

    // Root's link to a folder where the package has a folder is how a system
    // lays itself out (a merged /usr): never replaced, and nothing is
    // installed behind it either.
    void systemLinkWhereAFolderGoes()
    {
        REQUIRE_ROOT();
        TestRoot root;
        QTemporaryDir outside;
        QTemporaryDir packages;
        QVERIFY(outside.isValid() && packages.isValid());
        const QString app = root.system(QStringLiteral("/opt/app"));
        QVERIFY(QDir().mkpath(app) && QFile::link(outside.path(), app + QStringLiteral("/lib")));
        const QString package = writePackage(packages.path(), appTree("2"), QStringLiteral("2"));
        QVERIFY(!package.isEmpty());
        const Run run = install(package);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(QFileInfo(app + QStringLiteral("/lib")).isSymLink());
        QCOMPARE(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // A leftover moved out of the way goes back when the installation fails.
    void failedInstallationPutsLeftoversBack()
    {
        REQUIRE_ROOT();
        TestRoot root;
        QTemporaryDir packages;
        QVERIFY(writeFile(root.system(QStringLiteral("/opt/app/lib")), "old lib", 0640));
        QVERIFY(writeFile(root.system(QStringLiteral("/opt/app/bin/kept")), "kept", 0644));
        const QStringList before = snapshot(root.system(QStringLiteral("/opt")));
        Entries entries = appTree("2");
        // Files larger than 64 KiB cannot be written: z.bin fails after lib went aside.
        entries.push_back(PayloadEntry::file("./opt/app/z.bin", std::string(256 * 1024, '\0')));
        const QString package = writePackage(packages.path(), entries);
        QVERIFY(!package.isEmpty());
        const Run failed = install(package, QStringLiteral("-verboseR"), [] {
            const rlimit limit{64 * 1024, 64 * 1024};
            ::signal(SIGXFSZ, SIG_IGN);
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(99);
        });
        QCOMPARE(failed.exitCode, 1);
        QCOMPARE(failed.lines.constLast(), QStringLiteral("installer: The install failed. (Could not write \"/opt/app/z.bin\": File too large.)"));
        QCOMPARE(snapshot(root.system(QStringLiteral("/opt"))), before);
    }

    void secondInstallerWaitsForTheLock()
    {
        REQUIRE_ROOT();
        TestRoot root;
        DriverSource source;
        const QString package = source.build();
        QVERIFY(!package.isEmpty());
        root.makeDir(QStringLiteral("/var/db/receipts"));
        Descriptor lock(::open(QFile::encodeName(root.system(QStringLiteral("/var/db/receipts/.installer.lock"))).constData(),
                               O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        QVERIFY(lock && ::flock(lock.get(), LOCK_EX) == 0);

        QProcess installer;
        installer.start(installerPath, {QStringLiteral("-pkg"), package, QStringLiteral("-target"), QStringLiteral("/"), QStringLiteral("-verboseR")});
        QVERIFY(installer.waitForStarted(20000));
        const QByteArray waiting = (QStringLiteral("installer:PHASE:Waiting for other installations to complete") + ellipsis + QLatin1Char('\n')).toUtf8();
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT(waitsForLock(installer.processId()), 20000);
        QTRY_VERIFY_WITH_TIMEOUT((output += installer.readAllStandardOutput()).endsWith(waiting), 20000);
        QVERIFY(waitsForLock(installer.processId()));
        QCOMPARE(installer.state(), QProcess::Running);

        lock.reset();
        QVERIFY(installer.waitForFinished(60000));
        QCOMPARE(installer.exitCode(), 0);
        output += installer.readAllStandardOutput();
        QVERIFY(output.indexOf(waiting) < output.indexOf("installer:PHASE:Configuring the installation"));
        QVERIFY(output.endsWith("installer: The install was successful.\n"));
    }
};

QTEST_GUILESS_MAIN(TestInstallerProgram)
#include "tst_installerprogram.moc"
