// Requests to the built helper tool as the installer sends them: the
// command lines it runs and refuses, the progress file, the order of
// requests, framing on a real socket, and the admin file write.
#include "support/HelperToolProcess.h"
#include "support/PlistReader.h"
#include "support/PlistWriter.h"
#include "support/SecondUser.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <future>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using tavoren::testsupport::HelperToolProcess;
using tavoren::testsupport::PlistReader;
using tavoren::testsupport::PlistWriter;
using tavoren::testsupport::SecondUser;
using tavoren::testsupport::TestRoot;

namespace {
const QString commandKey = QStringLiteral("command_to_be_execute");
const QString progressKey = QStringLiteral("installerlog_file_path");
const QString progressPath = QStringLiteral("/var/tmp/kyr/CorvaneTavoren_ProgressMessage.log");
// A medium holding the build's package, the only one the helper installs.
QString g_media;
QString package()
{
    return QLatin1Char('"') + g_media + QStringLiteral("/disk/OSX/Corvane Tavoren Driver.pkg\"");
}
const QString adminPath = QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist");

QJsonObject command(const QString &line)
{
    return {{commandKey, line}};
}

QJsonObject installation(const QString &packageWord = package())
{
    return {{commandKey, QString(QStringLiteral("/usr/sbin/installer -pkg ") + packageWord + QStringLiteral(" -target / -verboseR"))},
            {progressKey, progressPath}};
}

QJsonObject adminRequest(const QString &value)
{
    return command(QStringLiteral("/usr/libexec/PlistBuddy -c \"Set :IsPrivateInstall ") + value + QStringLiteral("\" ") + adminPath);
}

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Stand-ins that record their arguments in $TAVOREN_ROOT/ran, one a line.
bool placeRecordingStandIns()
{
    const QByteArray record = "for a in \"$@\"; do echo \"$a\" >> \"$TAVOREN_ROOT/ran\"; done\n";
    return HelperToolProcess::placeScript(QStringLiteral("/usr/sbin/installer"), "#!/bin/sh\necho installer >> \"$TAVOREN_ROOT/ran\"\n" + record + "exit 5\n")
           && HelperToolProcess::placeScript(QStringLiteral("/Library/Printers/CorvaneTavoren/Uninstall.sh"),
                                             "echo removal >> \"$TAVOREN_ROOT/ran\"\n" + record + "exit 4\n");
}

bool blessed(HelperToolProcess &helper)
{
    const auto blessing = helper.bless();
    if (blessing.exitCode != 0)
        qWarning() << blessing.standardError;
    return blessing.exitCode == 0;
}

} // namespace

class TestHelperRequests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_media.isValid());
        g_media = m_media.path();
        QVERIFY(!HelperToolProcess::placePackage(g_media + QStringLiteral("/disk")).isEmpty());
        QVERIFY(!HelperToolProcess::placePackage(g_media + QStringLiteral("/Bob's disk")).isEmpty());
        // Packages by the same name that are not the build's: another one,
        // the build's with one byte changed, and with one byte more.
        const QByteArray built = fileContent(HelperToolProcess::placePackage(g_media + QStringLiteral("/built")));
        QVERIFY(built.size() > 1000);
        QByteArray changed = built;
        changed[changed.size() / 2] = char(changed[changed.size() / 2] ^ 1);
        for (const auto &[folder, bytes] : {std::pair{QStringLiteral("/other"), QByteArray("xar!not the package")},
                                            std::pair{QStringLiteral("/changed"), changed},
                                            std::pair{QStringLiteral("/longer"), QByteArray(built + 'x')}}) {
            const QString path = g_media + folder + QStringLiteral("/OSX/Corvane Tavoren Driver.pkg");
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
    }

    void init()
    {
        if (::geteuid() != 0)
            QSKIP("the helper runs as root");
    }

    void accepted_data()
    {
        QTest::addColumn<QJsonObject>("request");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QByteArray>("ran");
        QTest::newRow("probe") << command(QStringLiteral("ls /Applications/")) << QStringLiteral("0") << QByteArray();
        QTest::newRow("probe, quoted and tabbed") << command(QStringLiteral("\"ls\"\t/Applications/")) << QStringLiteral("0") << QByteArray();
        QTest::newRow("removal") << command(QStringLiteral("/bin/sh /Library/Printers/CorvaneTavoren/Uninstall.sh")) << QStringLiteral("4")
                                 << QByteArray("removal\n--upgrade\n");
        // The package installer gets the helper's own copy of the package.
        QTest::newRow("installation") << installation() << QStringLiteral("5")
                                      << QByteArray("installer\n-pkg\nSTAGED\n-target\n/\n-verboseR\n");
        QTest::newRow("installation, joined parts") << installation(g_media + QStringLiteral("/\"Bob's disk\"/OSX/\"Corvane Tavoren Driver.pkg\""))
                                                    << QStringLiteral("5")
                                                    << QByteArray("installer\n-pkg\nSTAGED\n-target\n/\n-verboseR\n");
    }

    void accepted()
    {
        QFETCH(QJsonObject, request);
        QFETCH(QString, status);
        QFETCH(QByteArray, ran);
        TestRoot root;
        root.makeDir(QStringLiteral("/Applications"));
        QVERIFY(placeRecordingStandIns());
        HelperToolProcess helper;
        QVERIFY(blessed(helper));
        const auto reply = HelperToolProcess::request(request);
        QCOMPARE(reply.outcome(), QStringLiteral("completed"));
        QCOMPARE(reply.status(), status);
        QCOMPARE(fileContent(root.system(QStringLiteral("/ran"))), QByteArray(ran).replace("STAGED", QFile::encodeName(HelperToolProcess::stagedPackagePath())));
        // The copy goes once it is installed.
        QVERIFY(!QFileInfo::exists(QFileInfo(HelperToolProcess::stagedPackagePath()).path()));
    }

    // The probe lists the folder below the root: without it ls fails.
    void probeBelowTheRoot()
    {
        TestRoot root;
        HelperToolProcess helper;
        QVERIFY(blessed(helper));
        const auto reply = HelperToolProcess::request(command(QStringLiteral("ls /Applications/")));
        QCOMPARE(reply.outcome(), QStringLiteral("completed"));
        QVERIFY(reply.status() != QStringLiteral("0"));
    }

    void refused_data()
    {
        QTest::addColumn<QJsonObject>("request");
        QTest::addColumn<QString>("reason");
        const QString notRun = QStringLiteral("Refused: the command line is not one the helper runs");
        const QString notMedium = QStringLiteral("Refused: the package path is not the driver package of a medium");
        const QString noProgress = QStringLiteral("Refused: this command takes no progress file");
        const QString wrongProgress = QStringLiteral("Refused: the installation's progress file must be \"") + progressPath + QLatin1Char('"');
        const QString removal = QStringLiteral("/bin/sh /Library/Printers/CorvaneTavoren/Uninstall.sh");
        QJsonObject otherProgress = installation();
        otherProgress[progressKey] = QStringLiteral("/var/tmp/kyr/other.log");
        QJsonObject noProgressPath = installation();
        noProgressPath.remove(progressKey);
        QJsonObject unknown = installation();
        unknown[QStringLiteral("user")] = QStringLiteral("root");
        QJsonObject numeric = installation();
        numeric[progressKey] = 1;
        QJsonObject arrayCommand{{commandKey, QJsonArray{QStringLiteral("ls"), QStringLiteral("/Applications/")}}};
        QJsonObject probeWithProgress = command(QStringLiteral("ls /Applications/"));
        probeWithProgress[progressKey] = progressPath;

        QTest::newRow("unbalanced quote") << installation(QStringLiteral("\"/media/disk/OSX/Corvane Tavoren Driver.pkg"))
                                          << QStringLiteral("Refused: the command line has an unbalanced double quote");
        QTest::newRow("single quote outside quotes") << installation(QStringLiteral("'/media/disk/OSX/Corvane Tavoren Driver.pkg'"))
                                                     << QStringLiteral("Refused: the command line holds a single quote outside double quotes");
        QTest::newRow("dollar") << installation(QStringLiteral("\"$HOME/OSX/Corvane Tavoren Driver.pkg\""))
                                << QStringLiteral("Refused: the command line holds a dollar sign");
        QTest::newRow("backquote") << command(removal + QStringLiteral("`id`")) << QStringLiteral("Refused: the command line holds a backquote");
        QTest::newRow("backslash") << installation(QStringLiteral("/media/disk/OSX/Corvane\\ Tavoren\\ Driver.pkg"))
                                   << QStringLiteral("Refused: the command line holds a backslash");
        QTest::newRow("line end") << command(removal + QStringLiteral("\n") + removal) << QStringLiteral("Refused: the command line holds a control character");
        QTest::newRow("another executable") << command(QStringLiteral("/bin/rm -rf /")) << notRun;
        QTest::newRow("ls elsewhere") << command(QStringLiteral("ls /")) << notRun;
        QTest::newRow("probe, extra word") << command(QStringLiteral("ls /Applications/ /")) << notRun;
        QTest::newRow("removal, extra word") << command(removal + QStringLiteral(" x")) << notRun;
        QTest::newRow("removal, other script") << command(QStringLiteral("/bin/sh /tmp/Uninstall.sh")) << notRun;
        QTest::newRow("installation, extra word") << QJsonObject{{commandKey, QString(installation()[commandKey].toString() + QStringLiteral(" -dumplog"))},
                                                                 {progressKey, progressPath}}
                                                  << notRun;
        QTest::newRow("installation, other target") << QJsonObject{{commandKey, QString(QStringLiteral("/usr/sbin/installer -pkg ") + package()
                                                                                            + QStringLiteral(" -target /tmp -verboseR"))},
                                                                   {progressKey, progressPath}}
                                                    << notRun;
        QTest::newRow("other package") << installation(QStringLiteral("/media/disk/OSX/Other.pkg")) << notMedium;
        // Named as the medium's, but not the package the helper was built with.
        const QString notBuilt = QStringLiteral("Refused: the package is not the driver package this helper was built with");
        QTest::newRow("another package by that name") << installation(QStringLiteral("\"") + g_media + QStringLiteral("/other/OSX/Corvane Tavoren Driver.pkg\""))
                                                      << notBuilt;
        QTest::newRow("the package changed after the build") << installation(QStringLiteral("\"") + g_media + QStringLiteral("/changed/OSX/Corvane Tavoren Driver.pkg\""))
                                                             << notBuilt;
        QTest::newRow("the package with a byte more") << installation(QStringLiteral("\"") + g_media + QStringLiteral("/longer/OSX/Corvane Tavoren Driver.pkg\""))
                                                      << notBuilt;
        QTest::newRow("package name only in the middle") << installation(QStringLiteral("\"/media/disk/OSX/Corvane Tavoren Driver.pkg/x\"")) << notMedium;
        QTest::newRow("package path with ..") << installation(QStringLiteral("\"/media/../OSX/Corvane Tavoren Driver.pkg\"")) << notMedium;
        QTest::newRow("package path with .") << installation(QStringLiteral("\"/media/./OSX/Corvane Tavoren Driver.pkg\"")) << notMedium;
        QTest::newRow("package path with //") << installation(QStringLiteral("\"/media//OSX/Corvane Tavoren Driver.pkg\"")) << notMedium;
        QTest::newRow("relative package path") << installation(QStringLiteral("\"media/OSX/Corvane Tavoren Driver.pkg\"")) << notMedium;
        QTest::newRow("other progress path") << otherProgress << wrongProgress;
        QTest::newRow("installation without progress path") << noProgressPath << wrongProgress;
        QTest::newRow("probe with a progress path") << probeWithProgress << noProgress;
        QTest::newRow("unknown member") << unknown << QStringLiteral("Refused: unknown member \"user\"");
        QTest::newRow("number member") << numeric << QStringLiteral("Refused: the member \"installerlog_file_path\" is not a string");
        QTest::newRow("array command") << arrayCommand << QStringLiteral("Refused: the member \"command_to_be_execute\" is not a string");
        QTest::newRow("admin, other value") << adminRequest(QStringLiteral("MAYBE")) << notRun;
        QTest::newRow("admin, other file") << command(QStringLiteral("/usr/libexec/PlistBuddy -c \"Set :IsPrivateInstall YES\" /etc/x.plist"))
                                           << notRun;
    }

    void refused()
    {
        QFETCH(QJsonObject, request);
        QFETCH(QString, reason);
        TestRoot root;
        QVERIFY(placeRecordingStandIns());
        const QByteArray admin = PlistWriter::xml({{QStringLiteral("IsPrivateInstall"), false}});
        const QString adminFile = root.writeFile(adminPath, admin);
        HelperToolProcess helper;
        QVERIFY(blessed(helper));
        const auto reply = HelperToolProcess::request(request);
        QCOMPARE(reply.outcome(), QStringLiteral("refused"));
        QCOMPARE(reply.text(), reason);
        QVERIFY(!QFileInfo::exists(root.system(QStringLiteral("/ran"))));
        QVERIFY(!QFileInfo::exists(HelperToolProcess::progressFilePath()));
        QCOMPARE(fileContent(adminFile), admin);
    }

    // What runs as root must be root's alone.
    void unsafeExecutables_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("change");
        QTest::newRow("script writable by its group") << QStringLiteral("/Library/Printers/CorvaneTavoren/Uninstall.sh") << QStringLiteral("0775");
        QTest::newRow("script of another user") << QStringLiteral("/Library/Printers/CorvaneTavoren/Uninstall.sh") << QStringLiteral("nobody");
        QTest::newRow("script is a link") << QStringLiteral("/Library/Printers/CorvaneTavoren/Uninstall.sh") << QStringLiteral("link");
        QTest::newRow("installer writable by others") << QStringLiteral("/usr/sbin/installer") << QStringLiteral("0757");
        QTest::newRow("installer of another user") << QStringLiteral("/usr/sbin/installer") << QStringLiteral("nobody");
    }

    void unsafeExecutables()
    {
        QFETCH(QString, path);
        QFETCH(QString, change);
        TestRoot root;
        QVERIFY(placeRecordingStandIns());
        const QByteArray file = QFile::encodeName(root.system(path));
        if (change == QStringLiteral("link")) {
            const QString moved = root.system(QStringLiteral("/usr/share/Uninstall.sh"));
            QVERIFY(QDir().mkpath(QFileInfo(moved).path()));
            QVERIFY(QFile::rename(root.system(path), moved));
            QVERIFY(QFile::link(moved, root.system(path)));
        } else if (change == QStringLiteral("nobody")) {
            const passwd *nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            QVERIFY(::chown(file.constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        } else {
            QVERIFY(::chmod(file.constData(), mode_t(change.toUInt(nullptr, 8))) == 0);
        }
        HelperToolProcess helper;
        QVERIFY(blessed(helper));
        const auto request = path.endsWith(QStringLiteral(".sh")) ? command(QStringLiteral("/bin/sh ") + path) : installation();
        const auto reply = HelperToolProcess::request(request);
        QCOMPARE(reply.outcome(), QStringLiteral("refused"));
        QVERIFY2(reply.text().contains(path), qPrintable(reply.text()));
        QVERIFY(!QFileInfo::exists(root.system(QStringLiteral("/ran"))));
    }

    // Lines reach the progress file as the installer prints them.
    void progressFile_data()
    {
        QTest::addColumn<QByteArray>("rest"); // printed once the test lets it go on
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("status");
        QTest::newRow("exit status") << QByteArray("echo 'second line' >&2\nprintf 'no line end'\nexit 3\n")
                                     << QByteArray("second line\nno line end\nInstallation_Done 3\n") << QStringLiteral("3");
        QTest::newRow("ended by a signal") << QByteArray("kill -TERM $$\n") << QByteArray("Installation_Done 143\n") << QStringLiteral("143");
        QTest::newRow("line over 64 KiB") << QByteArray("head -c 70000 /dev/zero | tr '\\0' x\necho\n")
                                          << QByteArray(65536, 'x') + "\n" + QByteArray(70000 - 65536, 'x') + "\nInstallation_Done 0\n"
                                          << QStringLiteral("0");
    }

    void progressFile()
    {
        QFETCH(QByteArray, rest);
        QFETCH(QByteArray, after);
        QFETCH(QString, status);
        TestRoot root;
        const QByteArray go = QFile::encodeName(root.system(QStringLiteral("/go")));
        QVERIFY(HelperToolProcess::placeScript(QStringLiteral("/usr/sbin/installer"),
                                               "#!/bin/sh\necho 'installer: first'\nwhile [ ! -e '" + go + "' ]; do sleep 0.01; done\n" + rest));
        // An old file of the last run goes.
        root.writeFile(progressPath, "old run\n");
        HelperToolProcess helper;
        QVERIFY(blessed(helper));
        auto pending = std::async(std::launch::async, [] { return HelperToolProcess::request(installation()); });
        QTRY_COMPARE_WITH_TIMEOUT(fileContent(HelperToolProcess::progressFilePath()), QByteArray("installer: first\n"), 20000);
        QFile(QString::fromUtf8(go)).open(QIODevice::WriteOnly);
        const auto reply = pending.get();
        QCOMPARE(reply.outcome(), QStringLiteral("completed"));
        QCOMPARE(reply.status(), status);
        QCOMPARE(fileContent(HelperToolProcess::progressFilePath()), "installer: first\n" + after);
        QCOMPARE(QFile::permissions(HelperToolProcess::progressFilePath()), QFileDevice::Permissions(0x6644));
    }

    void workingFolder_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("outcome");
        // What another user put in the way is replaced, never written into,
        // and does not stop the installation.
        QTest::newRow("missing") << QStringLiteral("missing") << QStringLiteral("completed");
        QTest::newRow("a link") << QStringLiteral("folder link") << QStringLiteral("completed");
        QTest::newRow("progress file a link") << QStringLiteral("file link") << QStringLiteral("completed");
        QTest::newRow("another user's") << QStringLiteral("nobody's") << QStringLiteral("completed");
        QTest::newRow("the user's, who asks") << QStringLiteral("authorised") << QStringLiteral("completed");
    }

    // Nothing is ever written through a link planted in the shared folder,
    // nor into a folder of another user's.
    void workingFolder()
    {
        QFETCH(QString, situation);
        QFETCH(QString, outcome);
        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        TestRoot root;
        QVERIFY(placeRecordingStandIns());
        const QString folder = root.system(QStringLiteral("/var/tmp/kyr"));
        const QString victim = root.writeFile(QStringLiteral("/elsewhere/CorvaneTavoren_ProgressMessage.log"), "victim\n");
        if (situation == QStringLiteral("folder link")) {
            QVERIFY(QFile::link(QFileInfo(victim).path(), folder));
        } else if (situation != QStringLiteral("missing")) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 01777) == 0);
            if (situation == QStringLiteral("file link"))
                QVERIFY(QFile::link(victim, HelperToolProcess::progressFilePath()));
            else
                QVERIFY(::chown(QFile::encodeName(folder).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        }
        HelperToolProcess helper;
        HelperToolProcess::BlessOptions options;
        if (situation == QStringLiteral("authorised"))
            options.pkexecUid = QString::number(nobody->pw_uid);
        QCOMPARE(helper.bless(options).exitCode, 0);
        // A folder of a user counts only when that user asks.
        const auto reply = situation == QStringLiteral("authorised")
                               ? HelperToolProcess::requestAs(nobody->pw_uid, nobody->pw_gid,
                                                              HelperToolProcess::line(installation()))
                               : HelperToolProcess::request(installation());
        QCOMPARE(reply.outcome(), outcome);
        QCOMPARE(fileContent(victim), QByteArray("victim\n"));
        QCOMPARE(QFileInfo::exists(root.system(QStringLiteral("/ran"))), outcome == QStringLiteral("completed"));
        if (outcome != QStringLiteral("completed"))
            return;
        const QFileInfo progress(HelperToolProcess::progressFilePath());
        QVERIFY(!progress.isSymLink());
        QCOMPARE(fileContent(progress.filePath()), QByteArray("Installation_Done 5\n"));
        QCOMPARE(progress.ownerId(), situation == QStringLiteral("authorised") ? uint(nobody->pw_uid) : 0u);
        struct stat status{};
        QVERIFY(::lstat(QFile::encodeName(folder).constData(), &status) == 0);
        QVERIFY(S_ISDIR(status.st_mode));
        if (situation == QStringLiteral("authorised")) {
            QCOMPARE(status.st_uid, uid_t(nobody->pw_uid));
        } else {
            QCOMPARE(status.st_mode & 07777, mode_t(01777));
            QCOMPARE(status.st_uid, uid_t(0));
        }
        QCOMPARE(QDir(QFileInfo(victim).path()).entryList(QDir::Files), QStringList{QFileInfo(victim).fileName()});
    }

    // The user who authorised the helper makes a package of her own whose
    // postinstall would run as root, names it as the medium's and asks for
    // it: refused, and nothing of it runs. No stand-in: the helper's own
    // package installer would install it.
    void ownPackageOfTheAuthorisingUser()
    {
        QString reason;
        if (!SecondUser::ensure(&reason))
            QSKIP(qPrintable(reason));
        TestRoot root;
        QVERIFY(root.openToOthers());
        const QString home = root.makeDir(QStringLiteral("/home/her"));
        QVERIFY(::chown(QFile::encodeName(home).constData(), SecondUser::uid(), SecondUser::gid()) == 0);
        const QByteArray record = QFile::encodeName(root.system(QStringLiteral("/record")));
        const QString scripts = root.writeFile(QStringLiteral("/home/her/scripts/postinstall"),
                                               "#!/bin/sh\nid -u > '" + record + "'\n");
        QVERIFY(QFile::setPermissions(scripts, QFileDevice::Permissions(0x7755)));
        root.writeFile(QStringLiteral("/home/her/payload/Library/x"), "x\n");
        QCOMPARE(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"),
                     QStringLiteral("%1:%2").arg(SecondUser::uid()).arg(SecondUser::gid()), home}), 0);
        const QString made = home + QStringLiteral("/OSX/Corvane Tavoren Driver.pkg");
        QVERIFY(QDir().mkpath(QFileInfo(made).path()));
        QCOMPARE(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("%1").arg(SecondUser::uid()), QFileInfo(made).path()}), 0);
        QByteArray output;
        QCOMPARE(SecondUser::run(QStringLiteral(TAVOREN_TOOLS_DIR "/tavoren-pkgbuild"),
                                 {QStringLiteral("--root"), home + QStringLiteral("/payload"), QStringLiteral("--scripts"),
                                  QFileInfo(scripts).path(), QStringLiteral("--identifier"), QStringLiteral("com.Corvane.TavorenInstaller"),
                                  QStringLiteral("--version"), QStringLiteral("99.0"), QStringLiteral("--install-location"),
                                  QStringLiteral("/"), made},
                                 &output),
                 0);
        QVERIFY2(QFileInfo(made).ownerId() == SecondUser::uid(), output.constData());
        QVERIFY(!QFileInfo::exists(root.system(QStringLiteral("/usr/sbin/installer"))));

        HelperToolProcess helper;
        QCOMPARE(helper.bless({QString::number(SecondUser::uid()), {}, {}, {}}).exitCode, 0);
        const auto reply = HelperToolProcess::requestAs(SecondUser::uid(), SecondUser::gid(),
                                                        HelperToolProcess::line(installation(QLatin1Char('"') + made + QLatin1Char('"'))));
        QCOMPARE(reply.outcome(), QStringLiteral("refused"));
        QCOMPARE(reply.text(), QStringLiteral("Refused: the package is not the driver package this helper was built with"));
        QVERIFY(!QFileInfo::exists(QString::fromUtf8(record)));
        QVERIFY(!QFileInfo::exists(root.system(QStringLiteral("/Library/x"))));
        QVERIFY(!QFileInfo::exists(QFileInfo(HelperToolProcess::stagedPackagePath()).path()));
    }

    // A removal that takes a while ends before an installation sent after
    // it starts.
    void requestsRunInOrder()
    {
        TestRoot root;
        const QByteArray order = QFile::encodeName(root.system(QStringLiteral("/order")));
        const QByteArray go = QFile::encodeName(root.system(QStringLiteral("/go")));
        QVERIFY(HelperToolProcess::placeScript(QStringLiteral("/Library/Printers/CorvaneTavoren/Uninstall.sh"),
                                               "echo removal-start >> '" + order + "'\nwhile [ ! -e '" + go
                                                   + "' ]; do sleep 0.01; done\nsleep 0.3\necho removal-end >> '" + order + "'\n"));
        QVERIFY(HelperToolProcess::placeScript(QStringLiteral("/usr/sbin/installer"), "#!/bin/sh\necho installation >> '" + order + "'\n"));
        HelperToolProcess helper;
        QVERIFY(blessed(helper));
        auto removal = std::async(std::launch::async, [] {
            return HelperToolProcess::request(command(QStringLiteral("/bin/sh /Library/Printers/CorvaneTavoren/Uninstall.sh")));
        });
        QTRY_COMPARE_WITH_TIMEOUT(fileContent(QString::fromUtf8(order)), QByteArray("removal-start\n"), 20000);
        auto install = std::async(std::launch::async, [] { return HelperToolProcess::request(installation()); });
        QFile(QString::fromUtf8(go)).open(QIODevice::WriteOnly);
        QCOMPARE(removal.get().outcome(), QStringLiteral("completed"));
        QCOMPARE(install.get().outcome(), QStringLiteral("completed"));
        QCOMPARE(fileContent(QString::fromUtf8(order)), QByteArray("removal-start\nremoval-end\ninstallation\n"));
    }

    void framingOnTheSocket_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("text");
        const QByteArray probe = R"({"command_to_be_execute":"ls /Applications/"})";
        QTest::newRow("two lines") << probe + "\n" + probe + "\n" << QStringLiteral("refused") << QStringLiteral("Refused: the request holds more than one line");
        QTest::newRow("garbage") << QByteArray("\x7f\x45LF\n") << QStringLiteral("refused") << QStringLiteral("Refused: the request is not a JSON object");
        QTest::newRow("65536 bytes") << probe + QByteArray(65536 - probe.size() - 1, ' ') + "\n" << QStringLiteral("completed")
                                     << QStringLiteral("ls ended with status 0");
        QTest::newRow("65537 bytes") << probe + QByteArray(65536 - probe.size(), ' ') + "\n" << QStringLiteral("refused")
                                     << QStringLiteral("Refused: the request is longer than 65536 bytes");
        QTest::newRow("1 MiB without line end") << QByteArray(1 << 20, '{') << QStringLiteral("refused")
                                                << QStringLiteral("Refused: the request is longer than 65536 bytes");
    }

    void framingOnTheSocket()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, outcome);
        QFETCH(QString, text);
        TestRoot root;
        root.makeDir(QStringLiteral("/Applications"));
        HelperToolProcess helper;
        QVERIFY(blessed(helper));
        const auto reply = HelperToolProcess::request(bytes);
        QCOMPARE(reply.outcome(), outcome);
        QCOMPARE(reply.text(), text);
    }

    // Connections that send half a request or nothing are dropped in time
    // without a reply, and others are served meanwhile.
    void halfAndSilentConnections()
    {
        TestRoot root;
        HelperToolProcess helper;
        QVERIFY(blessed(helper));
        QLocalSocket half;
        QLocalSocket silent;
        half.connectToServer(HelperToolProcess::socketPath());
        silent.connectToServer(HelperToolProcess::socketPath());
        QVERIFY(half.waitForConnected(20000) && silent.waitForConnected(20000));
        half.write("{\"command_to_be_execute\":\"ls /Appl");
        QVERIFY(half.waitForBytesWritten(20000));
        QCOMPARE(HelperToolProcess::request(command(QStringLiteral("ls /Applications/"))).outcome(), QStringLiteral("completed"));
        QCOMPARE(half.state(), QLocalSocket::ConnectedState);
        QCOMPARE(silent.state(), QLocalSocket::ConnectedState);
        QTRY_COMPARE_WITH_TIMEOUT(half.state(), QLocalSocket::UnconnectedState, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QLocalSocket::UnconnectedState, 20000);
        QCOMPARE(half.readAll() + silent.readAll(), QByteArray());
    }

    void adminWrite_data()
    {
        QTest::addColumn<QString>("input"); // xml, binary, missing, damaged, link
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("entries"); // after; empty when it failed
        const QStringList others{QStringLiteral("Count=7"), QStringLiteral("Name=Öffice 3"), QStringLiteral("Verbose=true")};
        QTest::newRow("xml, entry missing") << QStringLiteral("xml") << QStringLiteral("YES") << QStringList(others + QStringList{QStringLiteral("IsPrivateInstall=true")});
        QTest::newRow("binary, entry set") << QStringLiteral("binary") << QStringLiteral("NO") << QStringList(others + QStringList{QStringLiteral("IsPrivateInstall=false")});
        QTest::newRow("missing") << QStringLiteral("missing") << QStringLiteral("YES") << QStringList();
        QTest::newRow("damaged") << QStringLiteral("damaged") << QStringLiteral("YES") << QStringList();
        QTest::newRow("a link") << QStringLiteral("link") << QStringLiteral("YES") << QStringList();
        // Deep enough to overflow the stack of a library that recurses.
        QTest::newRow("nested too deep") << QStringLiteral("deep") << QStringLiteral("YES") << QStringList();
    }

    void adminWrite()
    {
        QFETCH(QString, input);
        QFETCH(QString, value);
        QFETCH(QStringList, entries);
        TestRoot root;
        QVariantMap content{{QStringLiteral("Count"), 7}, {QStringLiteral("Name"), QStringLiteral("Öffice 3")}, {QStringLiteral("Verbose"), true}};
        if (input == QStringLiteral("binary"))
            content.insert(QStringLiteral("IsPrivateInstall"), true);
        const QString file = root.system(adminPath);
        QByteArray before = input == QStringLiteral("binary") ? PlistWriter::binary(content) : PlistWriter::xml(content);
        if (input == QStringLiteral("damaged"))
            before.chop(30);
        if (input == QStringLiteral("deep"))
            before.replace("<dict>", QByteArray("<dict><key>x</key>" + QByteArray("<array>").repeated(60000) + QByteArray("</array>").repeated(60000)));
        const QString target = root.writeFile(QStringLiteral("/elsewhere/admin.plist"), before);
        if (input == QStringLiteral("link"))
            QVERIFY(QFile::link(target, file));
        else if (input != QStringLiteral("missing"))
            QVERIFY(QFile::copy(target, file) && QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        HelperToolProcess helper;
        QVERIFY(blessed(helper));
        const auto reply = HelperToolProcess::request(adminRequest(value));
        if (entries.isEmpty()) {
            QCOMPARE(reply.outcome(), QStringLiteral("failed"));
            // Still serving.
            QCOMPARE(HelperToolProcess::request(command(QStringLiteral("ls /Applications/"))).outcome(), QStringLiteral("completed"));
            QCOMPARE(fileContent(target), before);
            QCOMPARE(QFileInfo::exists(file), input != QStringLiteral("missing"));
            QCOMPARE(QFileInfo(file).isSymLink(), input == QStringLiteral("link"));
            return;
        }
        QCOMPARE(reply.outcome(), QStringLiteral("completed"));
        QCOMPARE(reply.status(), QStringLiteral("0"));
        const QByteArray after = fileContent(file);
        QVERIFY(after.startsWith("<?xml"));
        entries.sort();
        QCOMPARE(PlistReader::entries(after), entries);
        QCOMPARE(QFile::permissions(file), QFileDevice::Permissions(0x6644));
        QCOMPARE(QFileInfo(file).ownerId(), 0u);
        QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("CorvaneTavorenAdmin.plist")});
    }

private:
    QTemporaryDir m_media;
};

QTEST_GUILESS_MAIN(TestHelperRequests)
#include "tst_helperrequests.moc"
