// The built helper tool's life: blessing as root, who it serves, taking
// over from an older daemon, ending when idle, and dying mid-request.
#include "support/HelperToolProcess.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTest>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

using tavoren::testsupport::HelperToolProcess;
using tavoren::testsupport::TestRoot;

namespace {
const QJsonObject probe{{QStringLiteral("command_to_be_execute"), QStringLiteral("ls /Applications/")}};

QJsonObject installation()
{
    return {{QStringLiteral("command_to_be_execute"),
             QStringLiteral("/usr/sbin/installer -pkg \"/media/disk/OSX/Corvane Tavoren Driver.pkg\" -target / -verboseR")},
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
        QCOMPARE(helper.bless({pkexecUid, {}, {}}).exitCode, 0);
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

    void endsWhenIdle()
    {
        TestRoot root;
        HelperToolProcess helper;
        QCOMPARE(helper.bless({{}, QStringLiteral("0"), {}}).exitCode, 0);
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
        QCOMPARE(helper.bless({{}, QStringLiteral("1"), {}}).exitCode, 0);
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
};

QTEST_GUILESS_MAIN(TestHelperBlessing)
#include "tst_helperblessing.moc"
