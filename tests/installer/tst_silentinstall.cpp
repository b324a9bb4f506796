// TavorenInstaller in silent mode from an installation medium, as an
// administrator runs it: the real helper tool blessed from the medium, and
// either the real package installer with the driver package or a scripted
// stand-in for it. Everything runs below a root of the test's own.
#include "support/HelperToolProcess.h"
#include "support/InstallationMedium.h"
#include "shared/PropertyList.h"
#include "support/PlistWriter.h"
#include "support/SecondUser.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace tavoren::testsupport;

namespace {
const QString installerLog = QStringLiteral("/var/tmp/kyr/CorvaneTavoren.log");
const QString adminFile = QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist");
const QString printers = QStringLiteral("/Library/Printers/CorvaneTavoren");
const QString agentPath = printers + QStringLiteral("/CorvaneTavorenAgent");
const QRegularExpression progressLine(QStringLiteral("^(\\d+):(.*)$"));

// A stand-in package installer: prints `lines`, then holds until the test
// lets it go (a file "go" in the root), prints the success line and ends.
QByteArray holdingScript(const QStringList &lines)
{
    QByteArray script = "#!/bin/sh\n";
    for (const QString &line : lines)
        script += "printf '%s\\n' '" + line.toUtf8() + "'\n";
    script += "while [ ! -e \"$TAVOREN_ROOT/go\" ]; do sleep 0.01; done\n"
              "echo 'installer: The install was successful.'\n";
    return script;
}

bool letGo(const TestRoot &root)
{
    return !root.writeFile(QStringLiteral("/go"), "go").isEmpty();
}

// The percentages of the progress lines after the first one, with the
// statuses seen.
struct Progress
{
    QList<int> percents;
    QStringList statuses;
};

Progress progressOf(const QStringList &lines)
{
    Progress progress;
    for (const QString &line : lines.mid(1)) {
        const auto match = progressLine.match(line);
        if (!match.hasMatch())
            continue;
        progress.percents.append(match.captured(1).toInt());
        progress.statuses.append(match.captured(2));
    }
    return progress;
}
} // namespace

class TestSilentInstall : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (::geteuid() != 0)
            QSKIP("the helper tool and the package installer run as root");
    }

    // The package installer's lines as the progress loop shows them: the
    // examined line stays the same while the stand-in holds, so every pass
    // adds 4 until the ceiling.
    void scriptedOutput_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("status");
        QTest::newRow("writing files") << QStringLiteral("installer:PHASE:Writing files\u2026")
                                       << QStringLiteral("PHASE_WriteFiles");
        QTest::newRow("preparing the disk") << QStringLiteral("installer:PHASE:Preparing the disk\u2026")
                                            << QStringLiteral("PHASE_PrepareDisk");
        QTest::newRow("preparing the product") << QStringLiteral("installer:PHASE:Preparing Corvane Tavoren Driver\u2026")
                                               << QStringLiteral("PHASE_PrepareInstall");
        QTest::newRow("a percentage") << QStringLiteral("installer:%44.198345") << QStringLiteral("PHASE_RunScripts");
        QTest::newRow("an unlisted status") << QStringLiteral("installer:STATUS:Frobnicating")
                                            << QStringLiteral("Frobnicating");
    }
    void scriptedOutput()
    {
        QFETCH(QString, line);
        QFETCH(QString, status);
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(root, holdingScript({line, QStringLiteral("next")})));

        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
        QVERIFY(run.waitForLine([](const QString &l) { return l.startsWith(QLatin1String("88:")); }));
        QVERIFY(letGo(root));
        QCOMPARE(run.finish(), 0);

        const QStringList lines = run.lines();
        QCOMPARE(lines.value(0), QStringLiteral("5:PHASE_PrepareInstall"));
        const Progress progress = progressOf(lines);
        // Passes before the stand-in wrote anything say nothing at 10; then
        // the held line climbs by 4 on every pass.
        const qsizetype first = progress.percents.indexOf(14);
        QVERIFY(first > 0 || progress.percents.value(0) == 14);
        for (qsizetype i = 0; i < first; ++i)
            QCOMPARE(lines.at(i + 1), QStringLiteral("10:"));
        QList<int> expected;
        for (int percent = 14; percent <= 88; percent += 4)
            expected.append(percent);
        QCOMPARE(progress.percents.mid(first, expected.size()), expected);
        // An unlisted status keeps its line end: its progress line is
        // followed by an empty one.
        const QString shown = progress.statuses.at(first);
        QCOMPARE(shown, status);
        if (status == QLatin1String("Frobnicating"))
            QCOMPARE(lines.at(lines.indexOf(QStringLiteral("14:Frobnicating")) + 1), QString());
        for (const int percent : progress.percents)
            QVERIFY(percent <= 88);
    }

    void successPhaseSaysNothing()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(
            root, holdingScript({QStringLiteral("installer:PHASE:The software was successfully installed."),
                                 QStringLiteral("installer: The install was successful.")})));
        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
        // Once the file holds both lines, every pass examines the success line.
        const QString progressFile = QStringLiteral("/var/tmp/kyr/CorvaneTavoren_ProgressMessage.log");
        QTRY_VERIFY_WITH_TIMEOUT(root.readText(progressFile).contains(QLatin1String("install was successful")), 20000);
        QVERIFY(run.waitForLines(1));
        QVERIFY(run.waitForLines(run.lines().size() + 20));
        QVERIFY(letGo(root));
        QCOMPARE(run.finish(), 0);
        for (const QString &line : run.lines().mid(1))
            QCOMPARE(line, QStringLiteral("10:"));
    }

    // Any failure text ends the installation on the pass that sees it.
    void failureTexts_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("install failed") << QStringLiteral("installer: The install failed. (The disk is full.)");
        QTest::newRow("upgrade failed") << QStringLiteral("installer: The upgrade failed. (No space.)");
        QTest::newRow("untrusted") << QStringLiteral("installer: Certificate used to sign package is not trusted");
        QTest::newRow("invalid path")
            << QStringLiteral("installer: Error - the package path specified was invalid: '/x.pkg'.");
    }
    void failureTexts()
    {
        QFETCH(QString, line);
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(root, holdingScript({line, QStringLiteral("more")})));
        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
        QCOMPARE(run.finish(), 1);
        QVERIFY(letGo(root));
        const QStringList lines = run.lines();
        QVERIFY(lines.last().endsWith(QLatin1String(":InstallFailed")));
        QCOMPARE(lines.count(lines.last()), 1);
        QVERIFY(root.readText(installerLog).contains(QLatin1String("Installation failed...")));
    }

    // A package installer that fails without saying so is not a success.
    void exitStatusDecidesToo()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(
            root, "#!/bin/sh\necho 'installer:PHASE:Writing files\xE2\x80\xA6'\nexit 1\n"));
        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
        QCOMPARE(run.finish(), 1);
        QVERIFY2(run.lines().last().endsWith(QLatin1String(":InstallFailed")), qPrintable(run.lines().join(QLatin1Char('|'))));
        QVERIFY(root.readText(installerLog).contains(QLatin1String("The package installer ended with exit status 1")));
    }

    // The whole installation with the real package: what an administrator
    // gets, public or private.
    void freshInstallation_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("isPrivate");
        QTest::newRow("private") << QStringList{QStringLiteral("-s"), QStringLiteral("alice")} << 1;
        QTest::newRow("public") << QStringList{QStringLiteral("-S"), QStringLiteral("alice"), QStringLiteral("Public")}
                                << 0;
    }
    void freshInstallation()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, isPrivate);
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        // No package installer of the computer's own: the helper's is used.
        QVERIFY(!QFileInfo::exists(root.system(QStringLiteral("/usr/sbin/installer"))));

        InstallerRun run(medium, arguments, InstallationMedium::environment(root));
        QCOMPARE(run.finish(), 0);
        const QStringList lines = run.lines();
        QCOMPARE(lines.value(0), QStringLiteral("5:PHASE_PrepareInstall"));
        const Progress progress = progressOf(lines);
        QVERIFY(!progress.percents.isEmpty());
        for (qsizetype i = 1; i < progress.percents.size(); ++i)
            QVERIFY(progress.percents.at(i) >= progress.percents.at(i - 1) && progress.percents.at(i) <= 88);
        QVERIFY(progress.statuses.contains(QStringLiteral("PHASE_WriteFiles")));
        QVERIFY(!progress.statuses.contains(QStringLiteral("InstallFailed")));

        // The programs and the admin file are in place, the shared folders ready.
        QVERIFY(QFileInfo(root.system(agentPath)).isExecutable());
        QVERIFY(QFileInfo(root.system(printers + QStringLiteral("/Corvane Tavoren for Mac.app/contents/MacOS/"
                                                                "Corvane Tavoren for Mac")))
                    .isExecutable());
        QCOMPARE(InstallationMedium::isPrivateInstall(root), isPrivate);
        struct stat status{};
        QCOMPARE(::stat(QFile::encodeName(root.system(adminFile)).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0644));
        QCOMPARE(::stat(QFile::encodeName(root.system(QStringLiteral("/usr/lib/cups/backend/corvanetavoren"))).constData(),
                        &status),
                 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0700));
        QCOMPARE(::stat(QFile::encodeName(root.spoolRoot()).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(01777));
        const QString log = root.readText(installerLog);
        QVERIFY(log.contains(QLatin1String("Installation successful...")));
        QVERIFY(log.contains(isPrivate ? QLatin1String("Recorded a private installation")
                                       : QLatin1String("Recorded a public installation")));
        QVERIFY(!log.contains(QLatin1String("Preparing for Uninstallation!!!")));
        // No print scheduler runs for this root: installed all the same, and said.
        QVERIFY(root.readText(QStringLiteral("/var/log/install.log")).contains(QLatin1String("no print queue was made")));

        // The installed agent runs from the installed files.
        QProcess agent;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVOREN_ROOT"), root.path());
        agent.setProcessEnvironment(environment);
        agent.start(root.system(agentPath), {});
        QVERIFY(agent.waitForStarted());
        const QString socket = root.system(QStringLiteral("/private/tmp/Corvane_Tavoren_Socket/root/"
                                                          "com.corvane.TavorenAgentApp.socket"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(socket).exists(), 10000);
        agent.terminate();
        agent.waitForFinished();
    }

    // An installed version goes first, by its own uninstall script, but an
    // upgrade keeps what the administrator and the users set: every value of
    // the admin file (only keys new in this version are added; the public or
    // private choice is the new one), the users' own settings, and running
    // agents, which start again from the new files.
    void upgradeKeepsSettingsAndAgents()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        {
            InstallerRun first(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
            QCOMPARE(first.finish(), 0);
        }
        // The administrator points the client elsewhere; this version's new key is not there yet.
        QFile adminFile(root.system(QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist")));
        QVERIFY(adminFile.open(QIODevice::ReadOnly));
        auto admin = tavoren::shared::PropertyList::fromBytes(adminFile.readAll());
        adminFile.close();
        QVERIFY(admin);
        admin->setString(QStringLiteral("host"), QStringLiteral("print.shop.example:8443"));
        admin->setInteger(QStringLiteral("secure_connect"), 0);
        admin->remove(QStringLiteral("heldjobdays"));
        root.writeFile(QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist"), admin->toXml());
        const QString own = root.writeFile(QStringLiteral("/home/config/CorvaneTavoren/TavorenClient.plist"),
                                           PlistWriter::xml({{QStringLiteral("owneremail"), QStringLiteral("grace@example.com")}}));
        const QByteArray ownBefore = root.readText(QStringLiteral("/home/config/CorvaneTavoren/TavorenClient.plist")).toUtf8();

        QProcess agent;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVOREN_ROOT"), root.path());
        agent.setProcessEnvironment(environment);
        agent.start(root.system(agentPath), {});
        QVERIFY(agent.waitForStarted());
        const QString socket = root.system(QStringLiteral("/private/tmp/Corvane_Tavoren_Socket/root/com.corvane.TavorenAgentApp.socket"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 20000);
        const QString leftover = root.writeFile(printers + QStringLiteral("/not-from-the-package"), "x");

        InstallerRun second(medium, {QStringLiteral("-s"), QStringLiteral("alice"), QStringLiteral("PUBLIC")},
                            InstallationMedium::environment(root));
        QCOMPARE(second.finish(), 0);

        const QString log = root.readText(installerLog);
        const QStringList order{QStringLiteral("Preparing for Uninstallation!!!"),
                                QStringLiteral("Will delete existing Corvane Tavoren Driver."),
                                QStringLiteral("Corvane Tavoren Driver removed for an upgrade"),
                                QStringLiteral("The removal script ended with exit status 0"),
                                QStringLiteral("Older Corvane Tavoren Driver uninstalled successfully."),
                                QStringLiteral("Uninstallation finished."),
                                QStringLiteral("Installing "),
                                QStringLiteral("Installation successful...")};
        qsizetype at = log.lastIndexOf(QLatin1String("Silent Installation!!!"));
        for (const QString &step : order) {
            const qsizetype next = log.indexOf(step, at);
            QVERIFY2(next > at, qPrintable(step));
            at = next;
        }
        QVERIFY(!log.contains(QLatin1String("Stopped the agent")));
        // The removal took the receipt, so the package installer installed
        // anew rather than over the old files.
        const QString installLog = root.readText(QStringLiteral("/var/log/install.log"));
        QCOMPARE(installLog.count(QLatin1String("installer: Installing at base path /")), 2);
        QVERIFY(!installLog.contains(QLatin1String("Upgrading")));
        QVERIFY(installLog.contains(QLatin1String("kept; added the new keys heldjobdays")));
        QVERIFY(QFileInfo::exists(leftover));

        QVERIFY(adminFile.open(QIODevice::ReadOnly));
        const auto after = tavoren::shared::PropertyList::fromBytes(adminFile.readAll());
        QVERIFY(after);
        QCOMPARE(after->string(QStringLiteral("host")), QStringLiteral("print.shop.example:8443"));
        QCOMPARE(after->integer(QStringLiteral("secure_connect")), std::int64_t(0));
        QCOMPARE(after->integer(QStringLiteral("heldjobdays")), std::int64_t(7));
        QCOMPARE(after->boolean(QStringLiteral("IsPrivateInstall")), false);
        QCOMPARE(root.readText(QStringLiteral("/home/config/CorvaneTavoren/TavorenClient.plist")).toUtf8(), ownBefore);
        QVERIFY(QFileInfo::exists(own));

        // The same agent process runs the new file, and serves.
        QVERIFY(installLog.contains(QStringLiteral("Restarted the agent %1").arg(agent.processId())));
        const QString exe = QStringLiteral("/proc/%1/exe").arg(agent.processId());
        QTRY_COMPARE_WITH_TIMEOUT(QFile::symLinkTarget(exe), root.system(agentPath), 20000);
        QCOMPARE(agent.state(), QProcess::Running);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 20000);
        agent.terminate();
        QVERIFY(agent.waitForFinished(20000));
    }

    // Installed on a clean computer with the silent command alone, then
    // removed by an administrator with Uninstall.sh: the computer is as it
    // was, but for the system's install log, and nothing of the system still
    // runs. Again (a copy: the first run removes the script), it changes
    // nothing and says so.
    void removalLeavesTheComputerAsItWas()
    {
        TestRoot root;
        HelperToolProcess helper;
        // A clean computer with CUPS: the system's folders, nothing of ours.
        for (const QString &entry : QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            QVERIFY(QFileInfo(root.path() + QLatin1Char('/') + entry).isDir() ? QDir(root.path() + QLatin1Char('/') + entry).removeRecursively()
                                                                               : QFile::remove(root.path() + QLatin1Char('/') + entry));
        for (const char *folder : {"/var/tmp", "/var/run", "/var/log/cups", "/usr/lib/cups/backend", "/usr/share/ppd", "/etc/xdg/autostart", "/tmp"})
            QVERIFY(QDir().mkpath(root.system(QLatin1String(folder))));
        QVERIFY(root.makeSharedFolder(QStringLiteral("/var/tmp")) && root.makeSharedFolder(QStringLiteral("/tmp")));
        const auto listing = [&root] {
            QStringList found;
            QDirIterator it(root.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                struct stat status{};
                ::lstat(QFile::encodeName(path).constData(), &status);
                found << QStringLiteral("%1 %2 %3").arg(path.mid(root.path().size())).arg(status.st_mode, 0, 8).arg(status.st_uid);
            }
            found.sort();
            return found;
        };
        const QStringList before = listing();
        InstallationMedium medium(root, QStringLiteral("/tmp/medium"));
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        const QStringList withMedium = listing();

        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
        QCOMPARE(run.finish(), 0);
        QVERIFY(HelperToolProcess::isServing());
        const QString copy = root.system(QStringLiteral("/tmp/Uninstall.sh"));
        QVERIFY(QFile::copy(root.system(printers + QStringLiteral("/Uninstall.sh")), copy));

        QProcess uninstall;
        uninstall.setProcessEnvironment(InstallationMedium::environment(root));
        uninstall.setProcessChannelMode(QProcess::MergedChannels);
        uninstall.start(QStringLiteral("/bin/sh"), {root.system(printers + QStringLiteral("/Uninstall.sh"))});
        QVERIFY(uninstall.waitForFinished(60000));
        const QString said = QString::fromUtf8(uninstall.readAll());
        QVERIFY2(uninstall.exitCode() == 0, qPrintable(said));
        QVERIFY2(said.contains(QLatin1String("Stopped the helper tool")), qPrintable(said));
        QTRY_VERIFY_WITH_TIMEOUT(!HelperToolProcess::isRunning(HelperToolProcess::pid()), 20000);
        QStringList after = listing();
        after.removeIf([](const QString &line) { return line.startsWith(QLatin1String("/var/log/install.log ")) || line.startsWith(QLatin1String("/tmp/Uninstall.sh ")); });
        QVERIFY2(after == withMedium, qPrintable(QStringList(QSet<QString>(after.begin(), after.end()).subtract(QSet<QString>(withMedium.begin(), withMedium.end())).values()).join(QLatin1Char(' ')) + QStringLiteral(" | ")
                                                 + QStringList(QSet<QString>(withMedium.begin(), withMedium.end()).subtract(QSet<QString>(after.begin(), after.end())).values()).join(QLatin1Char(' '))));

        QProcess again;
        again.setProcessEnvironment(InstallationMedium::environment(root));
        again.setProcessChannelMode(QProcess::MergedChannels);
        again.start(QStringLiteral("/bin/sh"), {copy});
        QVERIFY(again.waitForFinished(60000));
        QCOMPARE(again.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(again.readAll()), QStringLiteral("Corvane Tavoren Driver removed\n"));
        QVERIFY(QFile::remove(copy));
        QVERIFY(QDir(medium.path()).removeRecursively());
        QStringList last = listing();
        last.removeIf([](const QString &line) { return line.startsWith(QLatin1String("/var/log/install.log ")); });
        QCOMPARE(last, before);
    }

    // The helper was blessed once but no longer runs: the probe fails and
    // the installer blesses it again.
    void helperNotRunning()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(root, "#!/bin/sh\necho 'installer: The install was successful.'\n"));
        QCOMPARE(helper.bless().exitCode, 0);
        QVERIFY(HelperToolProcess::stop());
        QVERIFY(QFileInfo::exists(HelperToolProcess::blessedPath()));

        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
        QCOMPARE(run.finish(), 0);
        const QString log = root.readText(installerLog);
        const qsizetype invalid = log.indexOf(QLatin1String("XPC connection invalid, releasing."));
        QVERIFY(invalid >= 0);
        QVERIFY(log.indexOf(QLatin1String("Authorization successful"), invalid) > invalid);
        QVERIFY(HelperToolProcess::isServing());
    }

    void helperDiesMidRequest()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(
            root, "#!/bin/sh\necho 'installer:PHASE:Writing files\xE2\x80\xA6'\nsleep 0.2\nkill -KILL $PPID\nsleep 1\n"));
        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
        QCOMPARE(run.finish(), 1);
        QVERIFY2(run.lines().last().endsWith(QLatin1String(":InstallFailed")), qPrintable(run.lines().last() + root.readText(installerLog)));
        QVERIFY(root.readText(installerLog).contains(QLatin1String("XPC connection interupted.")));
    }

    // A medium whose path cannot be quoted on a command line: the helper
    // refuses the installation and nothing runs.
    void helperRefusesTheRequest()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root, QStringLiteral("/me\"dium"));
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        const QString ran = root.system(QStringLiteral("/ran"));
        QVERIFY(InstallationMedium::standInPackageInstaller(root, "#!/bin/sh\ntouch \"$TAVOREN_ROOT/ran\"\n"));
        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
        QCOMPARE(run.finish(), 1);
        QVERIFY2(run.lines().last().endsWith(QLatin1String(":InstallFailed")), qPrintable(run.lines().join(QLatin1Char('|'))));
        QVERIFY(!QFileInfo::exists(ran));
        QVERIFY(root.readText(installerLog).contains(QLatin1String("Received response: ")));
    }

    void missingPackage()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Missing));
        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
        QCOMPARE(run.finish(), 1);
        QVERIFY(run.lines().isEmpty());
        QVERIFY(root.readText(installerLog)
                    .contains(QLatin1String("The driver package is missing: ") + medium.packagePath()));
        QVERIFY(!HelperToolProcess::isServing());
    }

    // Run by a user, blessing goes through pkexec: a dismissed or refused
    // prompt, or a helper that cannot bless itself, ends the run.
    void blessingRefused_data()
    {
        QTest::addColumn<QByteArray>("pkexec");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("error");
        QTest::newRow("dismissed") << QByteArray("#!/bin/sh\nexit 126\n")
                                   << QStringLiteral("Failed to create AuthorizationRef. Error code: 126")
                                   << QStringLiteral("(null)");
        QTest::newRow("not authorised") << QByteArray("#!/bin/sh\nexit 127\n")
                                        << QStringLiteral("Failed to create AuthorizationRef. Error code: 127")
                                        << QStringLiteral("(null)");
        QTest::newRow("authorised, but no root") << QByteArray("#!/bin/sh\nexec \"$@\"\n")
                                                 << QStringLiteral("Authorization successful")
                                                 << QStringLiteral("(exit status 1)");
    }
    void blessingRefused()
    {
        QFETCH(QByteArray, pkexec);
        QFETCH(QString, line);
        QFETCH(QString, error);
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        const QString stand = root.writeFile(QStringLiteral("/usr/bin/pkexec"), pkexec);
        QVERIFY(QFile::setPermissions(stand, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                 | QFileDevice::ExeOther | QFileDevice::WriteOwner));
        // The user reaches the medium and may write the shared working folder.
        QVERIFY(QFile::setPermissions(root.path(), QFile::permissions(root.path()) | QFileDevice::ExeOther
                                                       | QFileDevice::ReadOther));
        QVERIFY(::chmod(QFile::encodeName(root.system(QStringLiteral("/var/tmp"))).constData(), 01777) == 0);

        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root),
                         QStringLiteral("nobody"));
        QCOMPARE(run.finish(), 1);
        const QString log = root.readText(installerLog);
        QVERIFY2(log.contains(line), qPrintable(log));
        const qsizetype failed = log.indexOf(QLatin1String("Failed to install the Helper Tool. Error: "));
        QVERIFY(failed >= 0);
        QVERIFY(log.mid(failed).section(QLatin1Char('\n'), 0, 0).endsWith(error));
        QVERIFY(!HelperToolProcess::isServing());
    }

    // A progress file left by an earlier run ends no later installation:
    // removed first, or, where the user may not remove it, never taken for
    // the new one until the helper has replaced it.
    void staleProgressFileIsNeverTaken_data()
    {
        QTest::addColumn<bool>("asUser");
        QTest::newRow("run by root") << false;
        QTest::newRow("run by a user, the file is root's") << true;
    }
    void staleProgressFileIsNeverTaken()
    {
        QFETCH(bool, asUser);
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(
            root, holdingScript({QStringLiteral("installer:PHASE:Writing files\u2026"), QStringLiteral("next")})));
        const QString folder = root.makeDir(QStringLiteral("/var/tmp/kyr"));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 01777) == 0);
        root.writeFile(QStringLiteral("/var/tmp/kyr/CorvaneTavoren_ProgressMessage.log"),
                       "installer: The install was successful.\nInstallation_Done 0\n");
        QString user;
        if (asUser) {
            // Blessed earlier by this user; the working folder and the old file are root's.
            HelperToolProcess::BlessOptions options;
            options.pkexecUid = QStringLiteral("65534");
            QCOMPARE(helper.bless(options).exitCode, 0);
            QVERIFY(QFile::setPermissions(root.path(), QFile::permissions(root.path()) | QFileDevice::ExeOther
                                                           | QFileDevice::ReadOther));
            QVERIFY(::chmod(QFile::encodeName(root.system(QStringLiteral("/var/tmp"))).constData(), 01777) == 0);
            user = QStringLiteral("nobody");
        }
        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root),
                         user);
        QVERIFY2(run.waitForLine([](const QString &l) { return l == QLatin1String("22:PHASE_WriteFiles"); }),
                 qPrintable(run.lines().join(QLatin1Char('|'))));
        QVERIFY(letGo(root));
        QCOMPARE(run.finish(), 0);
        if (asUser)
            QVERIFY(root.readText(installerLog).contains(QLatin1String("Could not delete the old progress message file")));
    }

    // The package's own uninstall script leaves the root as it found it,
    // but for the system's logs and receipt folder, and can run again.
    void uninstallScriptRemovesEverything()
    {
        TestRoot root;
        const auto entries = [&root] {
            QSet<QString> found;
            QDirIterator it(root.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                found.insert(it.next().mid(root.path().size()));
            return found;
        };
        const QSet<QString> before = entries();
        QProcess process;
        process.setProcessEnvironment(InstallationMedium::environment(root));
        process.start(QStringLiteral(TAVOREN_TOOLS_DIR "/installer"),
                      {QStringLiteral("-pkg"), QStringLiteral(TAVOREN_DRIVER_PACKAGE), QStringLiteral("-target"),
                       QStringLiteral("/"), QStringLiteral("-verboseR")});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(entries().size() > before.size() + 20);

        const QString script = root.system(printers + QStringLiteral("/Uninstall.sh"));
        QCOMPARE(QProcess::execute(QStringLiteral("/bin/sh"), {script}), 0);
        const QSet<QString> left = entries() - before;
        const QSet<QString> systemOwn{QStringLiteral("/var/log"), QStringLiteral("/var/log/install.log"),
                                      QStringLiteral("/var/db"), QStringLiteral("/var/db/receipts"),
                                      QStringLiteral("/var/db/receipts/.installer.lock")};
        QVERIFY2((left - systemOwn).isEmpty(), qPrintable(QStringList((left - systemOwn).values()).join(QLatin1Char(' '))));

        // Again, from the copy the package carried: nothing left to do.
        QProcess again;
        again.setProcessEnvironment(InstallationMedium::environment(root));
        again.start(QStringLiteral("/bin/sh"), {QStringLiteral(TAVOREN_SOURCE_DIR "/src/driver-package/Uninstall.sh")});
        QVERIFY(again.waitForFinished(30000));
        QCOMPARE(again.exitCode(), 0);
        QVERIFY(!again.readAllStandardOutput().contains("Removed the installed files"));
    }

    // A package installer that never reports and never ends: after the
    // time without a new line the installation has failed.
    void stalledInstallation()
    {
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(root, holdingScript({})));
        QProcessEnvironment environment = InstallationMedium::environment(root);
        environment.insert(QStringLiteral("TAVOREN_INSTALLER_STALL_SECONDS"), QStringLiteral("1"));
        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, environment);
        QCOMPARE(run.finish(), 1);
        QVERIFY(letGo(root));
        QVERIFY2(run.lines().last().endsWith(QLatin1String(":InstallFailed")), qPrintable(run.lines().join(QLatin1Char('|'))));
        QVERIFY(root.readText(installerLog).contains(QLatin1String("No progress for 1 seconds")));
    }

    // Another user reached the shared working folder's place first, or
    // planted files in it: root's installation goes on, and nothing of it
    // reaches what he made.
    void plantedWorkingFolder_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("byUser"); // run by the user who authorised the helper, not root
        QTest::newRow("a folder of his") << QStringLiteral("his folder") << false;
        QTest::newRow("a link to a folder of his") << QStringLiteral("link to his") << false;
        QTest::newRow("a link to root's folder") << QStringLiteral("link to root's") << false;
        QTest::newRow("his files in the folder") << QStringLiteral("his files") << false;
        // The user's installer cannot remove his folder; the helper does, and
        // the installer follows the progress in root's.
        QTest::newRow("a folder of his, installed by a user") << QStringLiteral("his folder") << true;
    }
    void plantedWorkingFolder()
    {
        QFETCH(QString, planted);
        QFETCH(bool, byUser);
        QString reason;
        if (!SecondUser::ensure(&reason))
            QSKIP(qPrintable(reason));
        TestRoot root;
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(root, "#!/bin/sh\necho 'installer: The install was successful.'\n"));
        QVERIFY(root.makeSharedFolder(QStringLiteral("/var/tmp")));
        const QString kyr = root.system(QStringLiteral("/var/tmp/kyr"));
        const QString his = root.makeDir(QStringLiteral("/his"));
        const auto give = [](const QString &path) {
            return ::lchown(QFile::encodeName(path).constData(), SecondUser::uid(), SecondUser::gid()) == 0;
        };
        QVERIFY(give(his) && ::chmod(QFile::encodeName(his).constData(), 0777) == 0);
        const QString victim = root.makeDir(QStringLiteral("/victim"));
        if (planted == QLatin1String("his folder")) {
            QVERIFY(QDir().mkdir(kyr) && give(kyr) && ::chmod(QFile::encodeName(kyr).constData(), 0777) == 0);
        } else if (planted == QLatin1String("link to his")) {
            QVERIFY(QFile::link(his, kyr) && give(kyr));
        } else if (planted == QLatin1String("link to root's")) {
            QVERIFY(QFile::link(victim, kyr) && give(kyr));
        } else {
            QVERIFY(root.makeSharedFolder(QStringLiteral("/var/tmp/kyr")));
            const QString log = root.writeFile(QStringLiteral("/var/tmp/kyr/CorvaneTavoren.log"), "his\n");
            QVERIFY(give(log) && ::chmod(QFile::encodeName(log).constData(), 0666) == 0);
            QVERIFY(QFile::link(his + QStringLiteral("/capture"), kyr + QStringLiteral("/kyr_install.log")) && give(kyr + QStringLiteral("/kyr_install.log")));
            QVERIFY(QFile::link(his + QStringLiteral("/progress"), HelperToolProcess::progressFilePath())
                    && give(HelperToolProcess::progressFilePath()));
        }
        QString user;
        if (byUser) {
            QCOMPARE(helper.bless({QStringLiteral("65534"), {}, {}, {}}).exitCode, 0);
            QVERIFY(root.openToOthers());
            user = QStringLiteral("nobody");
        }
        InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root), user);
        QVERIFY2(run.finish() == 0, qPrintable(run.lines().join(QLatin1Char('|')) + QString::fromUtf8(run.standardError())));
        QCOMPARE(QDir(his).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        QCOMPARE(QDir(victim).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        // The folder is root's now (or, once his was gone, the installing
        // user's own), and its files are not for others to write.
        const uid_t installer = byUser ? 65534 : 0;
        struct stat status{};
        QCOMPARE(::lstat(QFile::encodeName(kyr).constData(), &status), 0);
        QVERIFY(S_ISDIR(status.st_mode));
        QVERIFY(status.st_uid == 0 || status.st_uid == installer);
        QCOMPARE(status.st_mode & 07777, status.st_uid == 0 ? mode_t(01777) : mode_t(0755));
        for (const QString &name : QDir(kyr).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
            QCOMPARE(::lstat(QFile::encodeName(kyr + QLatin1Char('/') + name).constData(), &status), 0);
            QVERIFY2(S_ISREG(status.st_mode) && (status.st_uid == 0 || status.st_uid == installer) && (status.st_mode & 022) == 0,
                     qPrintable(name));
        }
        const QString log = root.readText(installerLog);
        // The user's installer could not log before the helper made the folder.
        QVERIFY(log.contains(QLatin1String("Installation successful...")));
        QVERIFY(!log.startsWith(QLatin1String("his")));
    }

    // Another user keeps opening connections to the helper, 32 at a time,
    // while root installs three times: he is turned away at once and takes
    // no place from root.
    void otherUserChurnsConnections()
    {
        QString reason;
        if (!SecondUser::ensure(&reason))
            QSKIP(qPrintable(reason));
        TestRoot root;
        QVERIFY(root.openToOthers());
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::standInPackageInstaller(root, "#!/bin/sh\necho 'installer: The install was successful.'\n"));
        const QString stop = root.system(QStringLiteral("/stop-churning"));
        QProcess churn;
        SecondUser::start(churn, QStringLiteral(TAVOREN_HELPER_REQUEST_CLIENT),
                          {QStringLiteral("--churn"), QStringLiteral("32"), HelperToolProcess::socketPath(), stop});
        QVERIFY(churn.waitForStarted());
        for (int installation = 0; installation < 3; ++installation) {
            InstallerRun run(medium, {QStringLiteral("-s"), QStringLiteral("alice")}, InstallationMedium::environment(root));
            QCOMPARE(run.finish(), 0);
        }
        root.writeFile(QStringLiteral("/stop-churning"), "");
        QVERIFY(churn.waitForFinished(60000));
        QVERIFY2(churn.readAllStandardOutput().trimmed().toLongLong() > 32, "the other user never reached the helper");
        QCOMPARE(root.readText(installerLog).count(QLatin1String("Installation successful...")), 3);
    }
};

QTEST_GUILESS_MAIN(TestSilentInstall)
#include "tst_silentinstall.moc"
