#include "client/core/ConfigFiles.h"
#include "client/core/ApplicationIcon.h"
#include "client/core/ResourceFolder.h"
#include "shared/PropertyList.h"
#include "support/MemorySystemLog.h"
#include "support/PlistWriter.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

#include <csignal>
#include <cstdio>
#include <latch>
#include <optional>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tavoren::client;
using tavoren::testsupport::PlistWriter;
using tavoren::testsupport::MemorySystemLog;
using tavoren::testsupport::TestRoot;

namespace {

const QString adminName = QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist");
const QString logName = QStringLiteral("/private/var/log/cups/tavorencups/tavorendriver.log");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList logLines(const TestRoot &root)
{
    QStringList lines = QString::fromUtf8(readFile(root.system(logName))).split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}

// The one Error line expected for a message and details, timestamp aside.
bool isErrorLine(const QString &line, const QString &message, const QString &details)
{
    return line.startsWith(QLatin1String("Error : "))
        && line.endsWith(QLatin1String(" Message: ") + message + QLatin1String("  Details: ") + details);
}

// Every field distinct, so a value landing in the wrong field shows.
QVariantMap distinctAdmin()
{
    QVariantMap map = PlistWriter::adminDefaults();
    map[QStringLiteral("IsPrivateInstall")] = false;
    map[QStringLiteral("host")] = QStringLiteral("svc.test");
    map[QStringLiteral("secure_connect")] = 0;
    map[QStringLiteral("filesizelimitinmb")] = 71;
    map[QStringLiteral("createdrntimeout")] = 181;
    map[QStringLiteral("getdrntimeout")] = 182;
    map[QStringLiteral("getservertimeout")] = 31;
    map[QStringLiteral("conversiontimeout")] = 183;
    map[QStringLiteral("drnpollingtimeinsecond")] = 6;
    map[QStringLiteral("releasecodetextlength")] = 184;
    map[QStringLiteral("emailentrytextlength")] = 361;
    map[QStringLiteral("documentnamelength")] = 32;
    map[QStringLiteral("locateprinter")] = QStringLiteral("https://locate.test/");
    return map;
}

AdminConfig distinctAdminRecord()
{
    AdminConfig a;
    a.IsPrivateInstall = false;
    a.host = QStringLiteral("http://svc.test");
    a.emailto = QStringLiteral("print@service.test");
    a.secure_connect = 0;
    a.filesizelimitinmb = 71;
    a.createdrntimeout = 181;
    a.getdrntimeout = 182;
    a.getservertimeout = 31;
    a.conversiontimeout = 183;
    a.privacypolicy = QStringLiteral("https://legal.test/legal/privacy/");
    a.termsofuse = QStringLiteral("https://legal.test/legal/terms-of-use/");
    a.drnpollingtimeinsecond = 6;
    a.releasecodetextlength = 184;
    a.emailentrytextlength = 361;
    a.documentnamelength = 32;
    a.locateprinter = QStringLiteral("https://locate.test/");
    a.statuspageurl = QStringLiteral("http://status.test");
    a.helpurl = QStringLiteral("https://help.test/faq");
    return a;
}

Config distinctClient()
{
    return {QStringLiteral("zoë@example.test"), QStringLiteral("/img/big logo.png"), QStringLiteral("/img/small.png"),
        QStringLiteral("Collect <your> print & \"pay\"\nat the counter "), QStringLiteral("  Enter your e-mail"),
        QStringLiteral("/img/icon.png")};
}

QVariantMap clientMap(const Config &c)
{
    return {{QStringLiteral("owneremail"), c.owneremail}, {QStringLiteral("tavorenlogobig"), c.tavorenlogobig},
        {QStringLiteral("tavorenlogosmall"), c.tavorenlogosmall},
        {QStringLiteral("releasecodetext"), c.releasecodetext}, {QStringLiteral("emailentrytext"), c.emailentrytext},
        {QStringLiteral("applicationicon"), c.applicationicon}};
}

// A valid XML file of exactly `size` bytes.
QByteArray paddedClientFile(qint64 size)
{
    QVariantMap map = PlistWriter::clientDefaults();
    const qint64 base = PlistWriter::xml(map).size();
    map[QStringLiteral("emailentrytext")] = QString(size - base, QLatin1Char('a'));
    return PlistWriter::xml(map);
}

// Sets or removes an environment variable for one scope.
class EnvironmentChange
{
public:
    EnvironmentChange(const char *name, const std::optional<QByteArray> &value)
        : m_name(name)
        , m_previous(qgetenv(name))
        , m_wasSet(qEnvironmentVariableIsSet(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~EnvironmentChange()
    {
        if (m_wasSet)
            qputenv(m_name, m_previous);
        else
            qunsetenv(m_name);
    }
    EnvironmentChange(const EnvironmentChange &) = delete;
    EnvironmentChange &operator=(const EnvironmentChange &) = delete;

private:
    const char *m_name;
    QByteArray m_previous;
    bool m_wasSet;
};

struct stat statusOf(const QString &path)
{
    struct stat status{};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        status.st_mode = 0;
    return status;
}

QString userFolder(const TestRoot &root)
{
    return QFileInfo(root.userConfigFile()).path();
}

// The user's own file, laid out by hand.
void writeUserFile(const TestRoot &root, const QByteArray &content)
{
    QDir().mkpath(userFolder(root));
    QFile file(root.userConfigFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

// Branding in the bundle, the address left to the user.
Config brandedDefaults()
{
    return {QStringLiteral("desk@example.test"), QStringLiteral("/brand/big.png"), QStringLiteral("/brand/small.png"),
        QStringLiteral("Collect it at the counter"), QStringLiteral("Your e-mail, please"),
        QStringLiteral("/brand/icon.png")};
}

// Child mode: first reads from many threads, then flips the file and reads again.
// The icons the configuration asks for, in order.
class RecordingIcon final : public ApplicationIcon
{
public:
    explicit RecordingIcon(QStringList &seen) : m_seen(seen) {}
    bool set(const QString &path) override
    {
        m_seen.append(path);
        return true;
    }

private:
    QStringList &m_seen;
};

int privateInstallChild(const QString &resources)
{
    MemorySystemLog systemLog;
    ClientEnvironment environment(systemLog);
    environment.resourceFolder = resources;
    const ConfigFiles files(environment);
    const int threads = 8;
    std::latch start(threads);
    std::vector<int> seen(threads, -1);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            start.arrive_and_wait();
            seen[std::size_t(t)] = Constants::isPrivateInstall(environment) ? 1 : 0;
        });
    }
    for (std::thread &thread : pool)
        thread.join();
    for (int value : seen) {
        if (value != seen.front())
            return 1;
    }
    QVariantMap flipped = PlistWriter::adminDefaults();
    flipped[QStringLiteral("IsPrivateInstall")] = seen.front() == 0;
    QFile file(files.adminConfigPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(PlistWriter::xml(flipped)) < 0)
        return 2;
    file.close();
    std::printf("%d %d %d\n", seen.front(), Constants::isPrivateInstall(environment) ? 1 : 0,
        files.parseAdminConfig().IsPrivateInstall ? 1 : 0);
    return 0;
}

} // namespace

namespace tavoren::client {
// Readable comparison failures.
char *toString(const Config &c)
{
    return QTest::toString(QStringList{
        c.owneremail, c.tavorenlogobig, c.tavorenlogosmall, c.releasecodetext, c.emailentrytext, c.applicationicon}
                               .join(QLatin1String(" | ")));
}
char *toString(const AdminConfig &a)
{
    QStringList numbers;
    for (std::int64_t n : {a.secure_connect, a.filesizelimitinmb, a.createdrntimeout, a.getdrntimeout,
             a.getservertimeout, a.conversiontimeout, a.drnpollingtimeinsecond, a.releasecodetextlength,
             a.emailentrytextlength, a.documentnamelength})
        numbers.append(QString::number(n));
    return QTest::toString(
        QStringList{a.IsPrivateInstall ? QStringLiteral("private") : QStringLiteral("public"), a.host, a.emailto,
            a.privacypolicy, a.termsofuse, a.locateprinter, a.statuspageurl, a.helpurl, numbers.join(QLatin1Char(','))}
            .join(QLatin1String(" | ")));
}
} // namespace tavoren::client

class TestConfigFiles : public QObject
{
    Q_OBJECT

    // The files of the environment a test sets up: its resource folder and
    // icon, and the system log each test starts empty.
    ConfigFiles files() const
    {
        ClientEnvironment environment(m_systemLog);
        environment.resourceFolder = m_resources;
        environment.applicationIcon = m_icon;
        return ConfigFiles(environment);
    }
    MemorySystemLog &freshSystemLog()
    {
        m_systemLog.clear();
        return m_systemLog;
    }

    mutable MemorySystemLog m_systemLog;
    QString m_resources;
    std::shared_ptr<ApplicationIcon> m_icon;

private slots:
    void cleanup()
    {
        m_resources.clear();
        m_icon.reset();
    }

    void resourceFolderDefault()
    {
        const QDir app(QCoreApplication::applicationDirPath());
        QCOMPARE(ResourceFolder::path(), QFileInfo(app.path()).path() + QStringLiteral("/Resources"));
        m_resources = QStringLiteral("/some/where");
        QCOMPARE(files().clientConfigPath(), QStringLiteral("/some/where/TavorenClient.plist"));
    }

    void clientFileAbsent()
    {
        TestRoot root;
        MemorySystemLog &systemLog = freshSystemLog();
        m_resources = root.resourceDir();
        QCOMPARE(files().parseConfig(), Config());
        const QStringList lines = logLines(root);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(isErrorLine(
                     lines.first(), QStringLiteral("TavorenClient"), QStringLiteral("<- No client config file found")),
            qPrintable(lines.first()));
        QCOMPARE(systemLog.messages(), QStringList{QStringLiteral("No client config file found")});
    }

    void clientFileRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Config>("expected");
        const Config c = distinctClient();
        QVariantMap extra = clientMap(c);
        extra[QStringLiteral("unknown")] = 5;
        QTest::newRow("XML") << PlistWriter::xml(clientMap(c)) << c;
        QTest::newRow("binary") << PlistWriter::binary(clientMap(c)) << c;
        QTest::newRow("unknown key ignored") << PlistWriter::xml(extra) << c;
        const qsizetype padding = 1024 * 1024 - paddedClientFile(0).size();
        QTest::newRow("exactly 1 MiB") << paddedClientFile(1024 * 1024)
                                       << Config{{}, {}, {}, {}, QString(padding, QLatin1Char('a')), {}};
    }

    void clientFileRead()
    {
        QFETCH(QByteArray, content);
        QFETCH(Config, expected);
        TestRoot root;
        MemorySystemLog &systemLog = freshSystemLog();
        m_resources = root.resourceDir();
        root.writeFile(QStringLiteral("/resources/TavorenClient.plist"), content);
        QCOMPARE(files().parseConfig(), expected);
        QCOMPARE(logLines(root), QStringList());
        QVERIFY(systemLog.messages().isEmpty());
    }

    // A file that is there but unusable counts as absent, with its own lines.
    void unusableFile_data()
    {
        QTest::addColumn<bool>("admin");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("entry"); // file, folder or fifo

        // A complete file with one key changed, or removed when no value is given.
        auto changed = [](QVariantMap map, const QString &key, const QVariant &value) {
            if (value.isValid())
                map[key] = value;
            else
                map.remove(key);
            return PlistWriter::xml(map);
        };
        auto client = [&](const QString &key, const QVariant &value) {
            return changed(PlistWriter::clientDefaults(), key, value);
        };
        auto admin = [&](const QString &key, const QVariant &value) {
            return changed(PlistWriter::adminDefaults(), key, value);
        };
        const QByteArray validClient = PlistWriter::xml(PlistWriter::clientDefaults());
        const QByteArray validAdmin = PlistWriter::xml(PlistWriter::adminDefaults());
        const QString file = QStringLiteral("file");
        const QString folder = QStringLiteral("folder");
        const QString fifo = QStringLiteral("fifo");
        const QByteArray arrayRoot
            = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><array><string>a</string></array></plist>\n";

        QTest::newRow("client: key missing") << false << client(QStringLiteral("owneremail"), {}) << file;
        QTest::newRow("client: integer for string") << false << client(QStringLiteral("applicationicon"), 5) << file;
        QTest::newRow("client: Boolean for string") << false << client(QStringLiteral("tavorenlogobig"), true) << file;
        QTest::newRow("client: damaged") << false << validClient.left(validClient.size() / 2) << file;
        QTest::newRow("client: damaged binary")
            << false << PlistWriter::binary(PlistWriter::clientDefaults()).left(40) << file;
        QTest::newRow("client: root not a dictionary") << false << arrayRoot << file;
        QTest::newRow("client: empty") << false << QByteArray() << file;
        QTest::newRow("client: 1 MiB and one byte") << false << paddedClientFile(1024 * 1024 + 1) << file;
        QTest::newRow("client: a folder") << false << QByteArray() << folder;
        QTest::newRow("client: a FIFO") << false << QByteArray() << fifo;
        QTest::newRow("admin: key missing") << true << admin(QStringLiteral("documentnamelength"), {}) << file;
        QTest::newRow("admin: locateprinter missing")
            << true << admin(QStringLiteral("locateprinter"), {}) << file;
        QTest::newRow("admin: string for integer")
            << true << admin(QStringLiteral("secure_connect"), QStringLiteral("1")) << file;
        QTest::newRow("admin: integer for Boolean") << true << admin(QStringLiteral("IsPrivateInstall"), 1) << file;
        QTest::newRow("admin: string for Boolean")
            << true << admin(QStringLiteral("IsPrivateInstall"), QStringLiteral("true")) << file;
        QTest::newRow("admin: Boolean for string") << true << admin(QStringLiteral("host"), true) << file;
        QTest::newRow("admin: damaged") << true << validAdmin.left(validAdmin.size() - 30) << file;
        QTest::newRow("admin: root not a dictionary") << true << arrayRoot << file;
        QTest::newRow("admin: binary junk") << true << QByteArray("bplist00\xff\xff\xff") << file;
        QTest::newRow("admin: a folder") << true << QByteArray() << folder;
        QTest::newRow("admin: a FIFO") << true << QByteArray() << fifo;
        QTest::newRow("admin: conversion limit not a number")
            << true << admin(QStringLiteral("drnpollinglimitinsecond"), QStringLiteral("1800")) << file;
    }

    // The conversion limit came after the other keys: files without it keep
    // working and get 30 minutes.
    void conversionLimit_data()
    {
        QTest::addColumn<QVariant>("value"); // invalid: the key is absent
        QTest::addColumn<qint64>("limit");
        QTest::newRow("absent") << QVariant() << qint64(1800);
        QTest::newRow("set") << QVariant(60) << qint64(60);
    }
    void conversionLimit()
    {
        QFETCH(QVariant, value);
        QFETCH(qint64, limit);
        TestRoot root;
        m_resources = root.resourceDir();
        root.writeFile(QStringLiteral("/resources/TavorenClient.plist"), PlistWriter::xml(PlistWriter::clientDefaults()));
        QVariantMap admin = PlistWriter::adminDefaults();
        admin.insert(QStringLiteral("host"), QStringLiteral("print.test"));
        if (value.isValid())
            admin.insert(QStringLiteral("drnpollinglimitinsecond"), value);
        root.writeFile(adminName, PlistWriter::xml(admin));
        const AdminConfig parsed = files().parseAdminConfig();
        QCOMPARE(parsed.host, QStringLiteral("http://print.test"));
        QCOMPARE(parsed.drnpollinglimitinsecond, limit);
    }

    void unusableFile()
    {
        QFETCH(bool, admin);
        QFETCH(QByteArray, content);
        QFETCH(QString, entry);
        TestRoot root;
        m_resources = root.resourceDir();
        const QString clientName = QStringLiteral("/resources/TavorenClient.plist");
        const QString target = admin ? adminName : clientName;
        if (admin)
            root.writeFile(clientName, PlistWriter::xml(PlistWriter::clientDefaults()));
        if (entry == QLatin1String("folder"))
            root.makeDir(target);
        else if (entry == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(root.system(target)).constData(), 0600), 0);
        else
            root.writeFile(target, content);
        MemorySystemLog &systemLog = freshSystemLog();

        const QString subject = admin ? QStringLiteral("admin") : QStringLiteral("client");
        if (admin) {
            AdminConfig expected;
            expected.host = QStringLiteral("https://") + expected.host;
            expected.statuspageurl = QStringLiteral("https://") + expected.statuspageurl;
            QCOMPARE(files().parseAdminConfig(), expected);
        } else {
            QCOMPARE(files().parseConfig(), Config());
        }
        const QStringList lines = logLines(root);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(
            isErrorLine(lines.first(), admin ? QStringLiteral("CorvaneTavorenAdmin") : QStringLiteral("TavorenClient"),
                QStringLiteral("<- ") + subject + QStringLiteral(" config file could not be read")),
            qPrintable(lines.first()));
        QCOMPARE(systemLog.messages(), QStringList{subject + QStringLiteral(" config file could not be read")});
    }

    void adminDefaults()
    {
        TestRoot root;
        m_resources = root.resourceDir();
        root.writeFile(
            QStringLiteral("/resources/TavorenClient.plist"), PlistWriter::xml(PlistWriter::clientDefaults()));
        MemorySystemLog &systemLog = freshSystemLog();

        const AdminConfig a = files().parseAdminConfig();
        QCOMPARE(a.IsPrivateInstall, true);
        QCOMPARE(a.host, QStringLiteral("https://") + Constants::host);
        QCOMPARE(a.secure_connect, std::int64_t(1));
        QCOMPARE(a.filesizelimitinmb, std::int64_t(70));
        QCOMPARE(a.createdrntimeout, std::int64_t(180));
        QCOMPARE(a.getdrntimeout, std::int64_t(180));
        QCOMPARE(a.getservertimeout, std::int64_t(30));
        QCOMPARE(a.conversiontimeout, std::int64_t(180));
        QCOMPARE(a.drnpollingtimeinsecond, std::int64_t(5));
        QCOMPARE(a.releasecodetextlength, std::int64_t(180));
        QCOMPARE(a.emailentrytextlength, std::int64_t(360));
        QCOMPARE(a.documentnamelength, std::int64_t(30));
        QCOMPARE(a.locateprinter, QString());
        QCOMPARE(a.statuspageurl, QStringLiteral("https://") + Constants::statuspageurl);
        QCOMPARE(a.emailto, QString(Constants::emailto));
        // Bare host names as defaults; the pages are full secure URLs.
        QVERIFY(!QString(Constants::host).contains(QLatin1String("://")));
        QVERIFY(!QString(Constants::statuspageurl).contains(QLatin1String("://")));
        QCOMPARE(QUrl(a.helpurl).host(), QString(Constants::host));
        QCOMPARE(QUrl(a.helpurl).path(), QStringLiteral("/faq"));
        QVERIFY(a.privacypolicy.startsWith(QLatin1String("https://"))
            && a.privacypolicy.endsWith(QLatin1String("/legal/privacy/")));
        QVERIFY(a.termsofuse.startsWith(QLatin1String("https://"))
            && a.termsofuse.endsWith(QLatin1String("/legal/terms-of-use/")));

        const QStringList lines = logLines(root);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(isErrorLine(lines.first(), QStringLiteral("CorvaneTavorenAdmin"),
                     QStringLiteral("<- No admin config file found")),
            qPrintable(lines.first()));
        QCOMPARE(systemLog.messages(), QStringList{QStringLiteral("No admin config file found")});
    }

    void adminFile_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<qint64>("secure");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("expectedHost");
        QTest::addColumn<QString>("expectedStatus");
        QTest::newRow("0: plain") << false << qint64(0) << QStringLiteral("svc.test") << QStringLiteral("status.test")
                                  << QStringLiteral("http://svc.test") << QStringLiteral("http://status.test");
        QTest::newRow("1: secure") << false << qint64(1) << QStringLiteral("svc.test") << QStringLiteral("status.test")
                                   << QStringLiteral("https://svc.test") << QStringLiteral("https://status.test");
        QTest::newRow("2: plain") << false << qint64(2) << QStringLiteral("svc.test") << QStringLiteral("status.test")
                                  << QStringLiteral("http://svc.test") << QStringLiteral("http://status.test");
        QTest::newRow("-1: plain") << false << qint64(-1) << QStringLiteral("svc.test") << QStringLiteral("status.test")
                                   << QStringLiteral("http://svc.test") << QStringLiteral("http://status.test");
        QTest::newRow("scheme doubled") << false << qint64(1) << QStringLiteral("https://svc.test")
                                        << QStringLiteral("http://status.test")
                                        << QStringLiteral("https://https://svc.test")
                                        << QStringLiteral("https://http://status.test");
        QTest::newRow("nothing trimmed") << false << qint64(0) << QStringLiteral(" svc.test ") << QString()
                                         << QStringLiteral("http:// svc.test ") << QStringLiteral("http://");
        QTest::newRow("binary") << true << qint64(1) << QStringLiteral("svc.test") << QStringLiteral("status.test")
                                << QStringLiteral("https://svc.test") << QStringLiteral("https://status.test");
    }

    // Every field comes from the file; only host and status page get a scheme.
    void adminFile()
    {
        QFETCH(bool, binary);
        QFETCH(qint64, secure);
        QFETCH(QString, host);
        QFETCH(QString, status);
        QFETCH(QString, expectedHost);
        QFETCH(QString, expectedStatus);
        TestRoot root;
        m_resources = root.resourceDir();
        root.writeFile(
            QStringLiteral("/resources/TavorenClient.plist"), PlistWriter::xml(PlistWriter::clientDefaults()));
        QVariantMap map = distinctAdmin();
        map[QStringLiteral("secure_connect")] = secure;
        map[QStringLiteral("host")] = host;
        map[QStringLiteral("statuspageurl")] = status;
        root.writeFile(adminName, binary ? PlistWriter::binary(map) : PlistWriter::xml(map));
        MemorySystemLog &systemLog = freshSystemLog();

        AdminConfig expected = distinctAdminRecord();
        expected.secure_connect = secure;
        expected.host = expectedHost;
        expected.statuspageurl = expectedStatus;
        QCOMPARE(files().parseAdminConfig(), expected);
        QCOMPARE(logLines(root), QStringList());
        QVERIFY(systemLog.messages().isEmpty());
    }

    void iconHandler_data()
    {
        QTest::addColumn<bool>("clientFile");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QStringList>("applied");
        QTest::newRow("icon named") << true << QStringLiteral("/img/icon.png")
                                    << QStringList{QStringLiteral("/img/icon.png")};
        QTest::newRow("no icon named") << true << QString() << QStringList();
        QTest::newRow("no client file") << false << QString() << QStringList();
    }

    void iconHandler()
    {
        QFETCH(bool, clientFile);
        QFETCH(QString, icon);
        QFETCH(QStringList, applied);
        TestRoot root;
        m_resources = root.resourceDir();
        QVariantMap map = PlistWriter::clientDefaults();
        map[QStringLiteral("applicationicon")] = icon;
        if (clientFile)
            root.writeFile(QStringLiteral("/resources/TavorenClient.plist"), PlistWriter::xml(map));
        QStringList seen;
        m_icon = std::make_shared<RecordingIcon>(seen);
        files().parseAdminConfig();
        QCOMPARE(seen, applied);
    }

    // Only the address is written, to the user's own file: made with its
    // folders 0700, mode 0600, replaced whole; the bundle stays as it was.
    void ownerEmailWrittenToTheUsersFile_data()
    {
        QTest::addColumn<QByteArray>("before"); // the user's file before, empty: none
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("first address") << QByteArray() << QStringList{QStringLiteral("owneremail")};
        QTest::newRow("address changed") << PlistWriter::xml({{QStringLiteral("owneremail"), QStringLiteral("old@example.test")}})
                                         << QStringList{QStringLiteral("owneremail")};
        QTest::newRow("the user's logo kept")
            << PlistWriter::xml({{QStringLiteral("owneremail"), QStringLiteral("old@example.test")},
                   {QStringLiteral("tavorenlogobig"), QStringLiteral("/mine.png")}})
            << QStringList{QStringLiteral("owneremail"), QStringLiteral("tavorenlogobig")};
        QTest::newRow("damaged file replaced") << QByteArray("<?xml version=\"1.0\"?><plist><dict><key>owner")
                                               << QStringList{QStringLiteral("owneremail")};
    }

    void ownerEmailWrittenToTheUsersFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, keys);
        TestRoot root;
        m_resources = root.resourceDir();
        const QByteArray bundle = PlistWriter::xml(clientMap(brandedDefaults()));
        const QString bundleFile = root.writeFile(QStringLiteral("/resources/TavorenClient.plist"), bundle);
        // A second name for the old file shows whether it was written in place.
        const QString oldName = root.system(QStringLiteral("/old-name"));
        if (!before.isEmpty()) {
            writeUserFile(root, before);
            QCOMPARE(::link(QFile::encodeName(root.userConfigFile()).constData(), QFile::encodeName(oldName).constData()), 0);
        }
        MemorySystemLog &systemLog = freshSystemLog();

        files().setOwnerEmail(QStringLiteral("zoë@example.test"));

        QCOMPARE(files().userConfigPath(), root.userConfigFile());
        const struct stat file = statusOf(root.userConfigFile());
        QVERIFY(S_ISREG(file.st_mode));
        QCOMPARE(file.st_mode & 07777, mode_t(0600));
        QCOMPARE(file.st_uid, ::geteuid());
        for (const QString &folder : {root.configHome(), userFolder(root)}) {
            const struct stat made = statusOf(folder);
            QVERIFY2(S_ISDIR(made.st_mode), qPrintable(folder));
            if (before.isEmpty())
                QCOMPARE(made.st_mode & 07777, mode_t(0700));
        }
        const auto written = tavoren::shared::PropertyList::fromBytes(readFile(root.userConfigFile()));
        QVERIFY(written);
        QVERIFY(readFile(root.userConfigFile()).startsWith("<?xml"));
        QStringList writtenKeys = written->keys();
        writtenKeys.sort();
        keys.sort();
        QCOMPARE(writtenKeys, keys);
        QCOMPARE(written->string(QStringLiteral("owneremail")).value_or(QString()), QStringLiteral("zoë@example.test"));
        if (!before.isEmpty())
            QCOMPARE(readFile(oldName), before);
        // Nothing left beside it, nothing written into the bundle.
        QCOMPARE(QDir(userFolder(root)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("TavorenClient.plist")});
        QCOMPARE(readFile(bundleFile), bundle);
        QCOMPARE(QDir(root.resourceDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("TavorenClient.plist")});

        // The branding still comes from the bundle, the address from the user.
        Config expected = brandedDefaults();
        expected.owneremail = QStringLiteral("zoë@example.test");
        if (keys.contains(QStringLiteral("tavorenlogobig")))
            expected.tavorenlogobig = QStringLiteral("/mine.png");
        QCOMPARE(files().parseConfig(), expected);
        QCOMPARE(logLines(root), QStringList());
        QVERIFY(systemLog.messages().isEmpty());
    }

    // A link planted where the file goes is replaced, never written through.
    void plantedLinkIsReplaced()
    {
        TestRoot root;
        m_resources = root.resourceDir();
        const QByteArray keys = "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIOnly+mine user@host\n";
        const QString victim = root.writeFile(QStringLiteral("/home/.ssh/authorized_keys"), keys);
        QDir().mkpath(userFolder(root));
        QVERIFY(QFile::link(victim, root.userConfigFile()));
        MemorySystemLog &systemLog = freshSystemLog();

        files().setOwnerEmail(QStringLiteral("ann@example.test"));

        QCOMPARE(readFile(victim), keys);
        const struct stat file = statusOf(root.userConfigFile());
        QVERIFY(S_ISREG(file.st_mode));
        QCOMPARE(file.st_mode & 07777, mode_t(0600));
        QCOMPARE(files().parseConfig().owneremail, QStringLiteral("ann@example.test"));
        QVERIFY(systemLog.messages().filter(QStringLiteral("setting")).isEmpty());
    }

    // Nothing is written, what was there stays, and the failure is logged
    // with the lines of old.
    void ownerEmailFailure_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("no folder above the configuration home") << QStringLiteral("no home");
        QTest::newRow("a link in place of the folder") << QStringLiteral("folder link");
        QTest::newRow("disk full") << QStringLiteral("full");
        QTest::newRow("another user's folder") << QStringLiteral("not ours");
    }

    void ownerEmailFailure()
    {
        QFETCH(QString, failure);
        if (failure == QLatin1String("not ours") && ::geteuid() != 0)
            QSKIP("handing a folder to another user needs root");
        TestRoot root;
        m_resources = root.resourceDir();
        const QByteArray bundle = PlistWriter::xml(clientMap(distinctClient()));
        root.writeFile(QStringLiteral("/resources/TavorenClient.plist"), bundle);
        const QByteArray old = PlistWriter::xml({{QStringLiteral("owneremail"), QStringLiteral("old@example.test")}});
        const QString elsewhere = root.makeDir(QStringLiteral("/elsewhere"));
        std::optional<EnvironmentChange> home;
        if (failure == QLatin1String("no home"))
            home.emplace("XDG_CONFIG_HOME", QFile::encodeName(root.system(QStringLiteral("/missing/config"))));
        if (failure == QLatin1String("folder link")) {
            QDir().mkpath(root.configHome());
            QVERIFY(QFile::link(elsewhere, userFolder(root)));
        }
        if (failure == QLatin1String("full") || failure == QLatin1String("not ours"))
            writeUserFile(root, old);
        if (failure == QLatin1String("not ours"))
            QCOMPARE(::chown(QFile::encodeName(userFolder(root)).constData(), 65534, 65534), 0);
        MemorySystemLog &systemLog = freshSystemLog();
        // Large enough to pass a small file-size limit.
        const QString address = QString(64 * 1024, QLatin1Char('e')) + QStringLiteral("@example.test");

        if (failure == QLatin1String("full")) {
            // A small file-size limit fails the write the way a full disk does.
            struct rlimit saved {};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
            struct rlimit small = saved;
            small.rlim_cur = 16 * 1024;
            const auto previous = std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
            files().setOwnerEmail(address);
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previous);
        } else {
            files().setOwnerEmail(address);
        }

        if (failure == QLatin1String("full") || failure == QLatin1String("not ours")) {
            QCOMPARE(readFile(root.userConfigFile()), old);
            QCOMPARE(QDir(userFolder(root)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                QStringList{QStringLiteral("TavorenClient.plist")});
        }
        QVERIFY(!QFile::exists(root.system(QStringLiteral("/missing"))));
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(readFile(root.system(QStringLiteral("/resources/TavorenClient.plist"))), bundle);
        const QStringList lines = logLines(root);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(isErrorLine(lines.first(), QStringLiteral("TavorenClient"),
                     QStringLiteral("<- error while setting client config file")),
            qPrintable(lines.first()));
        QCOMPARE(systemLog.messages(), QStringList{QStringLiteral("error while setting client config file")});
    }

    // The bundle gives the defaults, the user's own file what the user set.
    void userValuesOverDefaults_data()
    {
        QTest::addColumn<bool>("bundle");
        QTest::addColumn<QVariantMap>("user"); // empty: no user file
        QTest::addColumn<Config>("expected");
        QTest::addColumn<int>("lines");
        Config addressed = brandedDefaults();
        addressed.owneremail = QStringLiteral("ann@example.test");
        Config cleared = brandedDefaults();
        cleared.owneremail.clear();
        Config own = addressed;
        own.releasecodetext = QStringLiteral("Mine");
        const QVariantMap ann{{QStringLiteral("owneremail"), QStringLiteral("ann@example.test")}};
        QTest::newRow("no user file") << true << QVariantMap() << brandedDefaults() << 0;
        QTest::newRow("the user's address") << true << ann << addressed << 0;
        QTest::newRow("address cleared by the user")
            << true << QVariantMap{{QStringLiteral("owneremail"), QString()}} << cleared << 0;
        QTest::newRow("another key of the user's")
            << true << QVariantMap{{QStringLiteral("owneremail"), QStringLiteral("ann@example.test")},
                   {QStringLiteral("releasecodetext"), QStringLiteral("Mine")}, {QStringLiteral("unknown"), 5}}
            << own << 0;
        QTest::newRow("no bundle file") << false << ann << Config{QStringLiteral("ann@example.test"), {}, {}, {}, {}, {}} << 1;
    }

    void userValuesOverDefaults()
    {
        QFETCH(bool, bundle);
        QFETCH(QVariantMap, user);
        QFETCH(Config, expected);
        QFETCH(int, lines);
        TestRoot root;
        m_resources = root.resourceDir();
        if (bundle)
            root.writeFile(QStringLiteral("/resources/TavorenClient.plist"), PlistWriter::xml(clientMap(brandedDefaults())));
        if (!user.isEmpty())
            writeUserFile(root, PlistWriter::binary(user));
        MemorySystemLog &systemLog = freshSystemLog();
        QCOMPARE(files().parseConfig(), expected);
        QCOMPARE(logLines(root).size(), lines);
        QCOMPARE(systemLog.messages().size(), lines);
    }

    // A user file that cannot be used is left aside: the defaults stay.
    void unusableUserFile_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("content");
        const QByteArray valid = PlistWriter::xml({{QStringLiteral("owneremail"), QStringLiteral("eve@example.test")}});
        QTest::newRow("damaged") << QStringLiteral("file") << valid.left(valid.size() / 2);
        QTest::newRow("integer for the address")
            << QStringLiteral("file") << PlistWriter::xml({{QStringLiteral("owneremail"), 7}});
        QTest::newRow("Boolean for a logo")
            << QStringLiteral("file")
            << PlistWriter::xml({{QStringLiteral("owneremail"), QStringLiteral("eve@example.test")},
                   {QStringLiteral("tavorenlogobig"), true}});
        QTest::newRow("root not a dictionary")
            << QStringLiteral("file")
            << QByteArray("<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><array><string>a</string></array></plist>\n");
        QTest::newRow("1 MiB and one byte") << QStringLiteral("file") << paddedClientFile(1024 * 1024 + 1);
        QTest::newRow("a FIFO") << QStringLiteral("fifo") << QByteArray();
        QTest::newRow("a folder") << QStringLiteral("folder") << QByteArray();
        QTest::newRow("a link to a good file") << QStringLiteral("link") << valid;
        QTest::newRow("a link in place of the folder") << QStringLiteral("folder link") << valid;
        QTest::newRow("another user's file") << QStringLiteral("not ours") << valid;
    }

    void unusableUserFile()
    {
        QFETCH(QString, entry);
        QFETCH(QByteArray, content);
        if (entry == QLatin1String("not ours") && ::geteuid() != 0)
            QSKIP("handing a file to another user needs root");
        TestRoot root;
        m_resources = root.resourceDir();
        root.writeFile(QStringLiteral("/resources/TavorenClient.plist"), PlistWriter::xml(clientMap(brandedDefaults())));
        QDir().mkpath(userFolder(root));
        const QByteArray path = QFile::encodeName(root.userConfigFile());
        if (entry == QLatin1String("file") || entry == QLatin1String("not ours"))
            writeUserFile(root, content);
        if (entry == QLatin1String("not ours"))
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
        if (entry == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        if (entry == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(root.userConfigFile()));
        if (entry == QLatin1String("link"))
            QVERIFY(QFile::link(root.writeFile(QStringLiteral("/elsewhere/good.plist"), content), root.userConfigFile()));
        if (entry == QLatin1String("folder link")) {
            root.writeFile(QStringLiteral("/elsewhere/TavorenClient.plist"), content);
            QVERIFY(QDir(userFolder(root)).removeRecursively());
            QVERIFY(QFile::link(root.system(QStringLiteral("/elsewhere")), userFolder(root)));
        }
        MemorySystemLog &systemLog = freshSystemLog();

        QCOMPARE(files().parseConfig(), brandedDefaults());
        const QStringList lines = logLines(root);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(isErrorLine(lines.first(), QStringLiteral("TavorenClient"),
                     QStringLiteral("<- user client config file could not be read")),
            qPrintable(lines.first()));
        QCOMPARE(systemLog.messages(), QStringList{QStringLiteral("user client config file could not be read")});
    }

    // $XDG_CONFIG_HOME when set and absolute, else ~/.config.
    void userFileLocation_data()
    {
        QTest::addColumn<QByteArray>("configHome"); // "-": unset
        QTest::addColumn<QByteArray>("home");       // "-": unset
        QTest::addColumn<QString>("expected");      // "~": the password database's home
        QTest::newRow("configuration home") << QByteArray("/x/conf/") << QByteArray("/h") << QStringLiteral("/x/conf");
        QTest::newRow("relative configuration home") << QByteArray("conf") << QByteArray("/h") << QStringLiteral("/h/.config");
        QTest::newRow("empty configuration home") << QByteArray("") << QByteArray("/h") << QStringLiteral("/h/.config");
        QTest::newRow("no configuration home") << QByteArray("-") << QByteArray("/h") << QStringLiteral("/h/.config");
        QTest::newRow("relative home") << QByteArray("-") << QByteArray("h") << QStringLiteral("~/.config");
        QTest::newRow("no home") << QByteArray("-") << QByteArray("-") << QStringLiteral("~/.config");
    }

    void userFileLocation()
    {
        QFETCH(QByteArray, configHome);
        QFETCH(QByteArray, home);
        QFETCH(QString, expected);
        const passwd *entry = ::getpwuid(::geteuid());
        if (expected.startsWith(QLatin1Char('~'))) {
            if (!entry)
                QSKIP("the user has no entry in the password database");
            expected.replace(0, 1, QDir::cleanPath(QFile::decodeName(entry->pw_dir)));
        }
        auto value = [](const QByteArray &v) { return v == "-" ? std::nullopt : std::optional<QByteArray>(v); };
        const EnvironmentChange changedConfigHome("XDG_CONFIG_HOME", value(configHome));
        const EnvironmentChange changedHome("HOME", value(home));
        // Only the path: nothing is read or written outside the test's folders.
        QCOMPARE(files().userConfigPath(), expected + QStringLiteral("/CorvaneTavoren/TavorenClient.plist"));
    }

    // Read once per process, even when first read from many threads at once.
    void privateInstallReadOnce_data()
    {
        QTest::addColumn<QVariant>("inFile");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("expectedLines");
        // first read, read after the file flipped, fresh parse after the flip
        QTest::newRow("private") << QVariant(true) << QStringLiteral("1 1 0\n") << 0;
        QTest::newRow("public") << QVariant(false) << QStringLiteral("0 0 1\n") << 0;
        QTest::newRow("no admin file") << QVariant() << QStringLiteral("1 1 0\n") << 1;
    }

    void privateInstallReadOnce()
    {
        QFETCH(QVariant, inFile);
        QFETCH(QString, expected);
        QFETCH(int, expectedLines);
        TestRoot root;
        root.writeFile(
            QStringLiteral("/resources/TavorenClient.plist"), PlistWriter::xml(PlistWriter::clientDefaults()));
        if (inFile.isValid()) {
            QVariantMap map = PlistWriter::adminDefaults();
            map[QStringLiteral("IsPrivateInstall")] = inFile.toBool();
            root.writeFile(adminName, PlistWriter::xml(map));
        }
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--private-install"), root.resourceDir()});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), expected);
        // One parse for all eight first reads, so at most one missing-file line.
        QCOMPARE(logLines(root).size(), expectedLines);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--private-install") == 0)
        return privateInstallChild(QString::fromLocal8Bit(argv[2]));
    TestConfigFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_configfiles.moc"
