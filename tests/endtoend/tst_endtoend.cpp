// The whole road of a print job: the printer backend spools a PDF and tells
// the user's agent, the real agent starts the real client (offscreen), the
// client uploads to the substitute service and reaches the release code.
// Once with the built programs, once with the programs the silent installer
// installed from the driver package, and with two users of one private
// installation who each upload under their own address.
#include "InstalledDriver.h"
#include "support/AgentProcess.h"
#include "support/HelperToolProcess.h"
#include "support/InstallationMedium.h"
#include "client/support/ClientLogReader.h"
#include "client/support/ClientSetup.h"
#include "release-service/ReleaseService.h"
#include "support/PlistWriter.h"
#include "support/SecondUser.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <memory>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tavoren;
using clienttest::ClientLogReader;
using clienttest::ClientSetup;
using testsupport::AgentProcess;
using testsupport::HelperToolProcess;
using testsupport::InstallationMedium;
using testsupport::InstalledDriver;
using testsupport::InstallerRun;
using testsupport::PlistWriter;
using testsupport::SecondUser;
using testsupport::TestRoot;

namespace {
const QString bundleName = QStringLiteral("Corvane Tavoren for Mac.app");
const QString installedBundle = QStringLiteral("/Library/Printers/CorvaneTavoren/") + bundleName;

// Installs a copy of the built bundle below the root, so that its
// resource folder (and remembered address) belongs to this test.
bool installClient(const TestRoot &root, const QString &ownerEmail)
{
    const QString target = root.system(installedBundle);
    QDir().mkpath(QFileInfo(target).path());
    const QString built = QStringLiteral(TAVOREN_BUNDLE_BIN_DIR "/../..");
    if (QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-R"), QDir(built).canonicalPath(), target}) != 0)
        return false;
    QVariantMap client = PlistWriter::clientDefaults();
    client.insert(QStringLiteral("owneremail"), ownerEmail);
    QFile file(target + QStringLiteral("/Contents/Resources/TavorenClient.plist"));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(PlistWriter::xml(client)) > 0;
}

QStringList jobFolders(const TestRoot &root)
{
    return QDir(root.spoolRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

QByteArray samplePdf()
{
    QByteArray pdf("%PDF-1.4\n% the whole road\n");
    pdf.append(QByteArray(64 * 1024, 'p'));
    pdf.append("\n%%EOF\n");
    return pdf;
}

int convertedJobs()
{
    int count = 0;
    for (const auto &entry : ClientLogReader::entries())
        count += entry.level == QLatin1String("Status") && entry.message == QLatin1String("file converted");
    return count;
}

// The backend, as the print scheduler runs it, hands `title` to the user's agent.
bool printFor(const QString &backendProgram, const QString &user, const QString &title, const QByteArray &pdf)
{
    QProcess backend;
    backend.start(backendProgram, {QStringLiteral("42"), user, title, QStringLiteral("1"), QString()});
    if (!backend.waitForStarted())
        return false;
    backend.write(pdf);
    backend.closeWriteChannel();
    return backend.waitForFinished(30000) && backend.exitStatus() == QProcess::NormalExit && backend.exitCode() == 0;
}

// Prints `pdf` through `backend` for the test's user, whose agent runs, and
// waits for the client to reach the release code; then checks what the
// service got and that the job folder is gone.
void printToTheReleaseCode(const TestRoot &root, releaseservice::ReleaseService &service, const QString &backendProgram,
                           AgentProcess &agent, const QString &owner, const QByteArray &pdf)
{
    QProcess backend;
    backend.start(backendProgram, {QStringLiteral("42"), AgentProcess::userName(), QStringLiteral("Quarterly report.pdf"),
                                   QStringLiteral("1"), QString()});
    QVERIFY(backend.waitForStarted());
    backend.write(pdf);
    backend.closeWriteChannel();
    QVERIFY(backend.waitForFinished(30000));
    QVERIFY2(backend.exitStatus() == QProcess::NormalExit && backend.exitCode() == 0,
             backend.readAllStandardError().constData());

    const bool converted = QTest::qWaitFor(
        [] { return ClientLogReader::contains(QStringLiteral("Status"), QStringLiteral("file converted"), QString()); },
        60000);
    InstalledDriver::endProcesses(InstalledDriver::client(root));
    QVERIFY2(converted, qPrintable(ClientLogReader::dump() + QString::fromLocal8Bit(agent.standardError())));

    const auto jobs = service.jobs();
    QCOMPARE(jobs.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(jobs.front().contentDescription), QStringLiteral("Quarterly report.pdf"));
    QVERIFY(jobs.front().ownerJson.find(owner.toStdString()) != std::string::npos);
    QFile stored(QString::fromStdString(jobs.front().storedFile));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), pdf);
    // The client deleted the job folder once the service had the file.
    QTRY_VERIFY(jobFolders(root).isEmpty());
}
} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void printedDocumentReachesTheReleaseCode()
    {
        TestRoot root;
        if (!AgentProcess::socketPathFits())
            QSKIP("the temporary folder's path is too long for a socket address");
        // As the driver package makes it.
        if (!root.makeSocketRoot())
            QSKIP("the agent needs a socket root owned by root, which only root can make");
        releaseservice::ReleaseService::Options options;
        options.storageDir = root.makeDir(QStringLiteral("/service")).toStdString();
        options.statusSequence = {1, 2, 4};
        releaseservice::ReleaseService service(options);
        QVERIFY(service.start());
        ClientSetup::writeAdminConfig(root, QStringLiteral("127.0.0.1:%1").arg(service.port()), false,
                                      {{QStringLiteral("IsPrivateInstall"), true}});
        QVERIFY(installClient(root, QStringLiteral("erin@example.com")));
        root.makeDir(QStringLiteral("/private/var/log/cups/tavorencups"));
        root.makeDir(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver"));

        AgentProcess agent;
        QVERIFY2(agent.start(), agent.standardError().constData());
        printToTheReleaseCode(root, service, QStringLiteral(TAVOREN_TOOLS_DIR "/corvanetavoren"), agent,
                              QStringLiteral("erin@example.com"), samplePdf());
    }

    // The driver package installed by the silent installer: its agent, its
    // backend, its client and its admin file carry the job.
    void installedDriverPrintsToTheReleaseCode()
    {
        if (::geteuid() != 0)
            QSKIP("the silent installation runs the package installer as root");
        TestRoot root;
        HelperToolProcess helper;
        if (!AgentProcess::socketPathFits())
            QSKIP("the temporary folder's path is too long for a socket address");
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::realPackageInstaller(root));
        InstallerRun installation(medium, {QStringLiteral("-s"), AgentProcess::userName()},
                                  InstallationMedium::environment(root));
        QCOMPARE(installation.finish(), 0);

        releaseservice::ReleaseService::Options options;
        options.storageDir = root.makeDir(QStringLiteral("/service")).toStdString();
        options.statusSequence = {1, 4};
        releaseservice::ReleaseService service(options);
        QVERIFY(service.start());
        QVERIFY(InstalledDriver::pointAdminFileAt(root, QStringLiteral("127.0.0.1:%1").arg(service.port())));
        QVERIFY(InstalledDriver::rememberOwner(root, QStringLiteral("frank@example.com")));

        AgentProcess agent;
        agent.process().setProgram(InstalledDriver::agent(root));
        QVERIFY2(agent.start(), agent.standardError().constData());
        printToTheReleaseCode(root, service, InstalledDriver::backend(root), agent,
                              QStringLiteral("frank@example.com"), samplePdf());
    }

    // One private installation, two users: each one's remembered address is
    // that user's own and reaches the service with that user's job; the
    // bundle, root's, is left as installed.
    void twoUsersUploadUnderTheirOwnAddresses()
    {
        if (::geteuid() != 0)
            QSKIP("the silent installation and a second user need root");
        QString reason;
        if (!SecondUser::ensure(&reason))
            QSKIP(qPrintable(reason));
        // A short root, so that the second user's socket address fits below it.
        const QString name = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QStringLiteral("tee"));
        TestRoot root;
        QCoreApplication::setApplicationName(name);
        QVERIFY(root.openToOthers());
        const QString other = QString::fromLatin1(SecondUser::name);
        if (!AgentProcess::socketPathFits()
            || std::size_t(QFile::encodeName(AgentProcess::socketPath(other)).size()) >= sizeof(sockaddr_un::sun_path))
            QSKIP("the temporary folder's path is too long for a socket address");
        HelperToolProcess helper;
        InstallationMedium medium(root);
        QVERIFY(medium.layOut(InstallationMedium::Package::Built));
        QVERIFY(InstallationMedium::realPackageInstaller(root));
        InstallerRun installation(medium, {QStringLiteral("-s"), other}, InstallationMedium::environment(root));
        QCOMPARE(installation.finish(), 0);

        releaseservice::ReleaseService::Options options;
        options.storageDir = root.makeDir(QStringLiteral("/service")).toStdString();
        options.statusSequence = {1, 4};
        releaseservice::ReleaseService service(options);
        QVERIFY(service.start());
        QVERIFY(InstalledDriver::pointAdminFileAt(root, QStringLiteral("127.0.0.1:%1").arg(service.port())));
        const QString bundleFile = InstalledDriver::bundle(root) + QStringLiteral("/Contents/Resources/TavorenClient.plist");
        QFile installed(bundleFile);
        QVERIFY(installed.open(QIODevice::ReadOnly));
        const QByteArray defaults = installed.readAll();
        installed.close();

        // Root's configuration home is the root's XDG_CONFIG_HOME; the other
        // user has none set and keeps it in ~/.config.
        QVERIFY(InstalledDriver::rememberOwnerOf(root.configHome(), 0, 0, QStringLiteral("rhea@example.com")));
        const QString otherHome = root.makeDir(QStringLiteral("/home/") + other);
        QCOMPARE(::chown(QFile::encodeName(otherHome).constData(), SecondUser::uid(), SecondUser::gid()), 0);
        QCOMPARE(::chmod(QFile::encodeName(otherHome).constData(), 0700), 0);
        QVERIFY(InstalledDriver::rememberOwnerOf(otherHome + QStringLiteral("/.config"), SecondUser::uid(), SecondUser::gid(),
                                 QStringLiteral("otto@example.com")));

        AgentProcess rootAgent;
        rootAgent.process().setProgram(InstalledDriver::agent(root));
        QVERIFY2(rootAgent.start(), rootAgent.standardError().constData());
        AgentProcess otherAgent;
        otherAgent.process().setProgram(InstalledDriver::agent(root));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        environment.insert(QStringLiteral("HOME"), otherHome);
        otherAgent.process().setProcessEnvironment(environment);
        QVERIFY2(otherAgent.startAs(other), otherAgent.standardError().constData());

        const QList<std::pair<QString, QString>> prints{{AgentProcess::userName(), QStringLiteral("Root report.pdf")},
                                                        {other, QStringLiteral("Other report.pdf")}};
        for (const auto &[user, title] : prints) {
            const int converted = convertedJobs();
            QVERIFY(printFor(InstalledDriver::backend(root), user, title, samplePdf()));
            QVERIFY2(QTest::qWaitFor([&] { return convertedJobs() > converted; }, 60000),
                     qPrintable(ClientLogReader::dump() + QString::fromLocal8Bit(rootAgent.standardError())
                                + QString::fromLocal8Bit(otherAgent.standardError())));
        }
        InstalledDriver::endProcesses(InstalledDriver::client(root));

        const auto jobs = service.jobs();
        QCOMPARE(jobs.size(), std::size_t(2));
        QCOMPARE(QString::fromStdString(jobs[0].contentDescription), QStringLiteral("Root report.pdf"));
        QVERIFY2(jobs[0].ownerJson.find("rhea@example.com") != std::string::npos, jobs[0].ownerJson.c_str());
        QCOMPARE(QString::fromStdString(jobs[1].contentDescription), QStringLiteral("Other report.pdf"));
        QVERIFY2(jobs[1].ownerJson.find("otto@example.com") != std::string::npos, jobs[1].ownerJson.c_str());
        QVERIFY(installed.open(QIODevice::ReadOnly));
        QCOMPARE(installed.readAll(), defaults);
        QTRY_VERIFY(jobFolders(root).isEmpty());
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
