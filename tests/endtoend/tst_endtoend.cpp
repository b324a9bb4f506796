// The whole road of a print job: the printer backend spools a PDF and tells
// the user's agent, the real agent starts the real client (offscreen), the
// client uploads to the substitute service and reaches the release code.
#include "support/AgentProcess.h"
#include "client/support/ClientLogReader.h"
#include "client/support/ClientSetup.h"
#include "release-service/ReleaseService.h"
#include "support/PlistWriter.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <memory>

using namespace tavoren;
using clienttest::ClientLogReader;
using clienttest::ClientSetup;
using testsupport::AgentProcess;
using testsupport::PlistWriter;
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

// Ends the clients the agent started from this root's bundle.
void endClients(const TestRoot &root)
{
    const QString executable =
        QFileInfo(root.system(installedBundle) + QStringLiteral("/Contents/MacOS/Corvane Tavoren for Mac")).canonicalFilePath();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool number = false;
        const int id = pid.toInt(&number);
        if (number && QFileInfo(QStringLiteral("/proc/") + pid + QStringLiteral("/exe")).symLinkTarget() == executable)
            ::kill(id, SIGTERM);
    }
}

QStringList jobFolders(const TestRoot &root)
{
    return QDir(root.spoolRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
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

        QByteArray pdf("%PDF-1.4\n% the whole road\n");
        pdf.append(QByteArray(64 * 1024, 'p'));
        pdf.append("\n%%EOF\n");
        QProcess backend;
        backend.start(QStringLiteral(TAVOREN_TOOLS_DIR "/corvanetavoren"),
                      {QStringLiteral("42"), AgentProcess::userName(), QStringLiteral("Quarterly report.pdf"),
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
        endClients(root);
        QVERIFY2(converted, qPrintable(ClientLogReader::dump() + QString::fromLocal8Bit(agent.standardError())));

        const auto jobs = service.jobs();
        QCOMPARE(jobs.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(jobs.front().contentDescription), QStringLiteral("Quarterly report.pdf"));
        QVERIFY(jobs.front().ownerJson.find("erin@example.com") != std::string::npos);
        QFile stored(QString::fromStdString(jobs.front().storedFile));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), pdf);
        // The client deleted the job folder once the service had the file.
        QTRY_VERIFY(jobFolders(root).isEmpty());
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
