// SIGTERM ends the client and tavoren-submit at once, whatever step they are
// at, and leaves the spool file for the agent's cleaning pass.
#include "client/core/JobArgument.h"
#include "client/support/ClientSetup.h"
#include "client/support/JobFixture.h"
#include "support/PlistWriter.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace tavoren;
using clienttest::ClientSetup;
using clienttest::JobFixture;
using releaseservice::Call;
using releaseservice::Fault;
using namespace std::chrono_literals;

class TestTerminate : public QObject
{
    Q_OBJECT

private slots:
    void terminatedMidUpload_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("tavoren-submit") << QStringLiteral("tavoren-submit");
        QTest::newRow("the client") << QStringLiteral("Corvane Tavoren for Mac");
    }
    void terminatedMidUpload()
    {
        QFETCH(QString, program);
        JobFixture f;
        QVERIFY(f.started);
        // A copy of the bundle that remembers its owner, so a private
        // installation goes straight to the upload.
        const QString bundle = f.root.system(QStringLiteral("/bundle.app"));
        QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-R"), QStringLiteral(TAVOREN_BUNDLE_BIN_DIR "/../.."), bundle}), 0);
        QVariantMap client = testsupport::PlistWriter::clientDefaults();
        client.insert(QStringLiteral("owneremail"), QStringLiteral("gina@example.com"));
        f.root.writeFile(QStringLiteral("/bundle.app/Contents/Resources/TavorenClient.plist"),
                         testsupport::PlistWriter::xml(client));
        // The service holds its answer to the upload for longer than the test waits.
        f.service->setFault(Call::CreateJob, Fault::delayed(20s));
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(4096));

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVOREN_ROOT"), f.root.path());
        process.setProcessEnvironment(environment);
        process.start(bundle + QStringLiteral("/Contents/MacOS/") + program,
                      {client::JobArgument::compose(QStringLiteral("Report.pdf"), path)});
        QVERIFY(process.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(f.service->requestsInProgress(), 1, 20000);

        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + SIGTERM);
        QVERIFY(QFileInfo::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestTerminate)
#include "tst_terminate.moc"
