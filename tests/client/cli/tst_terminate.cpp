// SIGTERM ends the client and tavoren-submit at once, whatever step they are
// at, and leaves the spool file for the agent's cleaning pass.
#include "client/core/JobArgument.h"
#include "client/support/ClientLogReader.h"
#include "client/support/ClientSetup.h"
#include "client/support/JobFixture.h"
#include "support/PlistWriter.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

using namespace tavoren;
using clienttest::ClientLogReader;
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
        const QString bundle = copyBundle(f, {});
        // The service holds its answer to the upload for longer than the test waits.
        f.service->setFault(Call::CreateJob, Fault::delayed(20s));
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(4096));

        QProcess process;
        start(process, f, bundle + QStringLiteral("/Contents/MacOS/") + program,
              client::JobArgument::compose(QStringLiteral("Report.pdf"), path));
        QTRY_COMPARE_WITH_TIMEOUT(f.service->requestsInProgress(), 1, 20000);

        terminate(process);
        QVERIFY(QFileInfo::exists(path));
    }

    // Logos and icon that cannot be read whole and at once are skipped: the
    // client still reaches its upload screen and still ends on SIGTERM.
    void unreadableImagesHoldNothingUp_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a FIFO") << QStringLiteral("fifo");
        QTest::newRow("a file of 1 GiB") << QStringLiteral("huge");
    }
    void unreadableImagesHoldNothingUp()
    {
        QFETCH(QString, kind);
        JobFixture f;
        QVERIFY(f.started);
        const QString image = f.root.system(QStringLiteral("/brand-image"));
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(image).constData(), 0644), 0);
        } else {
            QFile huge(image);
            QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(1) << 30));
        }
        const QString bundle = copyBundle(f, {{QStringLiteral("tavorenlogobig"), image},
                                              {QStringLiteral("tavorenlogosmall"), image},
                                              {QStringLiteral("applicationicon"), image}});
        f.service->setFault(Call::CreateJob, Fault::delayed(20s));
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(4096));

        QProcess process;
        start(process, f, bundle + QStringLiteral("/Contents/MacOS/Corvane Tavoren for Mac"),
              client::JobArgument::compose(QStringLiteral("Report.pdf"), path));
        QTRY_COMPARE_WITH_TIMEOUT(f.service->requestsInProgress(), 1, 20000);
        QVERIFY2(ClientLogReader::contains(QStringLiteral("Error"), image,
                                           QStringLiteral("<- image skipped: not a regular file or larger than 8 MiB")),
                 qPrintable(ClientLogReader::dump()));

        terminate(process);
    }

private:
    // A copy of the bundle that remembers its owner, so a private
    // installation goes straight to the upload.
    static QString copyBundle(JobFixture &f, const QVariantMap &overrides)
    {
        const QString bundle = f.root.system(QStringLiteral("/bundle.app"));
        if (QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-R"), QStringLiteral(TAVOREN_BUNDLE_BIN_DIR "/../.."), bundle}) != 0)
            return {};
        QVariantMap client = testsupport::PlistWriter::clientDefaults();
        client.insert(QStringLiteral("owneremail"), QStringLiteral("gina@example.com"));
        client.insert(overrides);
        f.root.writeFile(QStringLiteral("/bundle.app/Contents/Resources/TavorenClient.plist"),
                         testsupport::PlistWriter::xml(client));
        return bundle;
    }

    static void start(QProcess &process, JobFixture &f, const QString &program, const QString &job)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVOREN_ROOT"), f.root.path());
        process.setProcessEnvironment(environment);
        process.start(program, {job});
        QVERIFY(process.waitForStarted());
    }

    static void terminate(QProcess &process)
    {
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + SIGTERM);
    }
};

QTEST_GUILESS_MAIN(TestTerminate)
#include "tst_terminate.moc"
