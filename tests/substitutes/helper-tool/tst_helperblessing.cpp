// The built helper tool's life: blessing as root, who it serves, taking
// over from an older daemon, ending when idle, and dying mid-request.
#include "support/HelperToolProcess.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

using tavoren::testsupport::HelperToolProcess;
using tavoren::testsupport::TestRoot;

namespace {
// A medium holding the build's package, the only one the helper installs.
QString g_package;
const QJsonObject probe{{QStringLiteral("command_to_be_execute"), QStringLiteral("ls /Applications/")}};

QJsonObject installation()
{
    return {{QStringLiteral("command_to_be_execute"),
             QStringLiteral("/usr/sbin/installer -pkg \"%1\" -target / -verboseR").arg(g_package)},
            {QStringLiteral("installerlog_file_path"), QStringLiteral("/var/tmp/kyr/CorvaneTavoren_ProgressMessage.log")}};
}

// A stand-in package installer that leaves a mark when it runs.
bool placeMarkingInstaller()
{
    return HelperToolProcess::placeScript(QStringLiteral("/usr/sbin/installer"),
                                          "#!/bin/sh\necho \"installer: ran\"\ntouch \"$TAVOREN_ROOT/ran\"\n");
}

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestHelperBlessing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_media.isValid());
        g_package = HelperToolProcess::placePackage(m_media.path());
        QVERIFY(!g_package.isEmpty());
    }

    void init()
    {
        if (::geteuid() != 0)
            QSKIP("blessing the helper needs root");
    }

    void blessing()
    {
        TestRoot root;
        HelperToolProcess helper;
        const auto blessed = helper.bless();
        QVERIFY2(blessed.exitCode == 0, blessed.standardError.constData());
        QCOMPARE(blessed.standardError, QByteArray());
        const QFileInfo copy(HelperToolProcess::blessedPath());
        QCOMPARE(copy.ownerId(), 0u);
        QCOMPARE(QFile::permissions(copy.filePath()), QFileDevice::Permissions(0x7755));
        QCOMPARE(QFile::permissions(copy.path()), QFileDevice::Permissions(0x7755));
        QCOMPARE(fileContent(copy.filePath()), fileContent(HelperToolProcess::program()));
        // The package installer it carries, root's alone, in a folder of root's alone.
        const QFileInfo installer(HelperToolProcess::blessedInstallerPath());
        QCOMPARE(installer.ownerId(), 0u);
        QCOMPARE(QFile::permissions(installer.filePath()), QFileDevice::Permissions(0x7700));
        QCOMPARE(QFile::permissions(installer.path()), QFileDevice::Permissions(0x7700));
        QCOMPARE(fileContent(installer.filePath()), fileContent(QStringLiteral(TAVOREN_TOOLS_DIR "/installer")));
        QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(HelperToolProcess::pid())), copy.filePath());
        QVERIFY(HelperToolProcess::isServing());
        QCOMPARE(QFile::permissions(HelperToolProcess::socketPath()) & 0x0666, QFileDevice::Permissions(0x0666));
        QCOMPARE(HelperToolProcess::request(probe).outcome(), QStringLiteral("completed"));
    }

    // A newer blessing takes the socket over; the older daemon, ending,
    // leaves the newer one's socket and pid file alone.
    void blessingAgainTakesOver()
    {
        TestRoot root;
        HelperToolProcess helper;
        QCOMPARE(helper.bless().exitCode, 0);
        const qint64 older = HelperToolProcess::pid();
        QCOMPARE(helper.bless().exitCode, 0);
        const qint64 newer = HelperToolProcess::pid();
        QVERIFY(newer != older);
        QVERIFY(HelperToolProcess::isRunning(older));
        ::kill(pid_t(older), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!HelperToolProcess::isRunning(older), 20000);
        QCOMPARE(HelperToolProcess::pid(), newer);
        QVERIFY(HelperToolProcess::isServing());
        QCOMPARE(HelperToolProcess::request(probe).outcome(), QStringLiteral("completed"));
        // Ending through the pid file removes what is its own.
        QVERIFY(HelperToolProcess::stop());
        QVERIFY(!QFileInfo::exists(HelperToolProcess::socketPath()));
        QVERIFY(!QFileInfo::exists(HelperToolProcess::pidFilePath()));
    }

    void whoIsServed_data()
    {
        QTest::addColumn<QString>("pkexecUid");
        QTest::addColumn<bool>("nobodyServed");
        const passwd *nobody = ::getpwnam("nobody");
        const QString nobodyUid = nobody ? QString::number(nobody->pw_uid) : QString();
        QTest::newRow("authorised by root") << QString() << false;
        QTest::newRow("authorised by nobody through pkexec") << nobodyUid << true;
        QTest::newRow("PKEXEC_UID not a number") << QStringLiteral("65534x") << false;
        QTest::newRow("PKEXEC_UID out of range") << QStringLiteral("99999999999") << false;
    }

    void whoIsServed()
    {
        QFETCH(QString, pkexecUid);
        QFETCH(bool, nobodyServed);
        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        TestRoot root;
        QVERIFY(placeMarkingInstaller());
        HelperToolProcess helper;
        QCOMPARE(helper.bless({pkexecUid, {}, {}, {}}).exitCode, 0);
        const auto reply = HelperToolProcess::requestAs(nobody->pw_uid, nobody->pw_gid, HelperToolProcess::line(installation()));
        QCOMPARE(reply.outcome(), nobodyServed ? QStringLiteral("completed") : QStringLiteral("refused"));
        QCOMPARE(QFileInfo::exists(root.system(QStringLiteral("/ran"))), nobodyServed);
        if (nobodyServed) {
            QCOMPARE(QFileInfo(HelperToolProcess::progressFilePath()).ownerId(), uint(nobody->pw_uid));
        } else {
            QCOMPARE(reply.text(), QStringLiteral("Refused: uid %1 may not use the helper").arg(nobody->pw_uid));
            // Root is served whoever authorised the helper.
            QCOMPARE(HelperToolProcess::request(installation()).outcome(), QStringLiteral("completed"));
        }
    }

    void blessingRefused_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("folder is a link") << QStringLiteral("link") << QByteArray("/Library/PrivilegedHelperTools is a link or not a folder");
        QTest::newRow("folder writable by others") << QStringLiteral("open")
                                                   << QByteArray("/Library/PrivilegedHelperTools is not owned by root or is writable by others");
        QTest::newRow("not root") << QStringLiteral("user") << QByteArray("--bless must run as root");
    }

    void blessingRefused()
    {
        QFETCH(QString, obstacle);
        QFETCH(QByteArray, error);
        TestRoot root;
        const QString elsewhere = root.makeDir(QStringLiteral("/elsewhere"));
        const QString folder = QFileInfo(HelperToolProcess::blessedPath()).path();
        HelperToolProcess::BlessOptions options;
        if (obstacle == QStringLiteral("link")) {
            QVERIFY(QFile::link(elsewhere, folder));
        } else if (obstacle == QStringLiteral("open")) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
        } else {
            const passwd *nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            options.runAs = nobody->pw_uid;
        }
        HelperToolProcess helper;
        const auto blessed = helper.bless(options);
        QCOMPARE(blessed.exitCode, 1);
        QCOMPARE(blessed.standardError, QByteArray("com.kyr.InstallerHelperTool: " + error + "\n"));
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(!QFileInfo::exists(HelperToolProcess::socketPath()));
        QVERIFY(!QFileInfo::exists(HelperToolProcess::pidFilePath()));
    }

    // The package installer beside the helper must be the one it was built
    // with: another is not blessed, and no daemon starts.
    void carriedInstallerChanged()
    {
        TestRoot root;
        const QString bundle = root.makeDir(QStringLiteral("/medium/LaunchServices"));
        const QString copy = bundle + QStringLiteral("/com.kyr.InstallerHelperTool");
        QVERIFY(QFile::copy(HelperToolProcess::program(), copy));
        QVERIFY(QFile::setPermissions(copy, QFileDevice::Permissions(0x7755)));
        root.writeFile(QStringLiteral("/medium/LaunchServices/installer"), "#!/bin/sh\ntouch \"$TAVOREN_ROOT/ran\"\n");
        HelperToolProcess helper;
        const auto blessed = helper.bless({{}, {}, {}, copy});
        QCOMPARE(blessed.exitCode, 1);
        QVERIFY2(blessed.standardError.contains("it is not the package installer this helper was built with"), blessed.standardError.constData());
        QVERIFY(!QFileInfo::exists(HelperToolProcess::blessedInstallerPath()));
        QVERIFY(!QFileInfo::exists(HelperToolProcess::socketPath()));
    }

    // Connections of users it does not serve are turned away at once and
    // do not keep it alive: it ends when idle however many keep coming.
    void refusedPeersDoNotKeepItAlive()
    {
        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        TestRoot root;
        HelperToolProcess helper;
        QCOMPARE(helper.bless({{}, QStringLiteral("1"), {}, {}}).exitCode, 0);
        const qint64 daemon = HelperToolProcess::pid();
        int refused = 0;
        for (int attempt = 0; attempt < 2000 && HelperToolProcess::isRunning(daemon); ++attempt) {
            const auto reply = HelperToolProcess::requestAs(nobody->pw_uid, nobody->pw_gid, HelperToolProcess::line(probe));
            if (reply.outcome() == QStringLiteral("refused"))
                ++refused;
        }
        QVERIFY(refused > 0);
        // It ended while they were still coming, not once they stopped.
        QVERIFY(!HelperToolProcess::isRunning(daemon));
    }

    void endsWhenIdle()
    {
        TestRoot root;
        HelperToolProcess helper;
        QCOMPARE(helper.bless({{}, QStringLiteral("0"), {}, {}}).exitCode, 0);
        const qint64 daemon = HelperToolProcess::pid();
        QVERIFY(daemon > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!HelperToolProcess::isRunning(daemon), 20000);
        QVERIFY(!QFileInfo::exists(HelperToolProcess::socketPath()));
        QVERIFY(!QFileInfo::exists(HelperToolProcess::pidFilePath()));
    }

    // A request that runs past the idle time keeps the daemon: it still
    // serves the next one.
    void runningRequestIsNotIdle()
    {
        TestRoot root;
        QVERIFY(HelperToolProcess::placeScript(QStringLiteral("/usr/sbin/installer"), "#!/bin/sh\nsleep 2\necho done\n"));
        HelperToolProcess helper;
        QCOMPARE(helper.bless({{}, QStringLiteral("1"), {}, {}}).exitCode, 0);
        QCOMPARE(HelperToolProcess::request(installation()).status(), QStringLiteral("0"));
        QCOMPARE(HelperToolProcess::request(probe).outcome(), QStringLiteral("completed"));
    }

    void killedMidRequest()
    {
        TestRoot root;
        QVERIFY(HelperToolProcess::placeScript(QStringLiteral("/usr/sbin/installer"), "#!/bin/sh\necho starting\nkill -9 $PPID\n"));
        HelperToolProcess helper;
        QCOMPARE(helper.bless().exitCode, 0);
        const qint64 daemon = HelperToolProcess::pid();
        const auto reply = HelperToolProcess::request(installation());
        QVERIFY(reply.closedWithoutReply());
        QTRY_VERIFY_WITH_TIMEOUT(!HelperToolProcess::isRunning(daemon), 20000);
    }

private:
    QTemporaryDir m_media;
};

QTEST_GUILESS_MAIN(TestHelperBlessing)
#include "tst_helperblessing.moc"
