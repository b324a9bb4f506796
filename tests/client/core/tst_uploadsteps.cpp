// The steps of one job around the network: the job argument, the spool
// folder guard, the wait for the spool file, the size limit, the owner
// address, Cancel and the strings table.
#include "client/core/JobArgument.h"
#include "shared/StringTable.h"
#include "client/support/ClientLogReader.h"
#include "client/support/ClientSetup.h"
#include "client/support/JobFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTest>
#include <QTimer>

using namespace tavoren;
using namespace tavoren::client;
using clienttest::ClientLogReader;
using clienttest::ClientSetup;
using clienttest::JobFixture;
using End = clienttest::RecordingFrontEnd::End;
using releaseservice::Call;
using releaseservice::Fault;
using releaseservice::ReleaseService;
using namespace std::chrono_literals;

namespace {
// Readings of the clock that take in several looks for the spool file:
// the start, the service time and three waits.
constexpr int spoolLooks = 5;
} // namespace

class TestUploadSteps : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void withoutWellFormedJobTheClientQuits_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");
        QTest::newRow("no argument") << QStringList{QStringLiteral("/app/client")} << "Debug" << QString()
                                     << "Trying to launch from the doc or app";
        QTest::newRow("no separator") << QStringList{QStringLiteral("/app/client"), QStringLiteral("Report.pdf /spool/x.pdf")}
                                      << "Error" << "/app/clientReport.pdf /spool/x.pdf"
                                      << " <- commandline agrs filepath not found ";
    }

    void withoutWellFormedJobTheClientQuits()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, level);
        QFETCH(QString, message);
        QFETCH(QString, details);
        JobFixture f;
        QVERIFY(f.started);
        QCOMPARE(f.run(arguments), End::Quit);
        QVERIFY2(ClientLogReader::contains(level, message, details), qPrintable(ClientLogReader::dump()));
        QVERIFY(f.service->requests().empty());
    }

    void filesOutsideTheSpoolFolderAreLeftAlone_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("folder elsewhere") << QStringLiteral("elsewhere");
        QTest::newRow("job folder linked elsewhere") << QStringLiteral("link");
        QTest::newRow("spool root itself") << QStringLiteral("root");
        QTest::newRow("climbing out") << QStringLiteral("dotdot");
    }

    void filesOutsideTheSpoolFolderAreLeftAlone()
    {
        QFETCH(QString, where);
        JobFixture f;
        QVERIFY(f.started);
        const QString victim = f.root.writeFile(QStringLiteral("/home/user/Documents/taxes.pdf"), "precious");
        const QString spool = f.root.spoolRoot();
        QString path = victim;
        if (where == QLatin1String("link")) {
            QVERIFY(QFile::link(QFileInfo(victim).path(), spool + QStringLiteral("/job9")));
            path = spool + QStringLiteral("/job9/taxes.pdf");
        } else if (where == QLatin1String("root")) {
            path = f.root.writeFile(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/loose.pdf"), "x");
        } else if (where == QLatin1String("dotdot")) {
            QDir().mkpath(spool + QStringLiteral("/job9"));
            path = spool + QStringLiteral("/job9/../../../../../../home/user/Documents/taxes.pdf");
        }
        QCOMPARE(f.runSpoolFile(path), End::Error);
        QCOMPARE(f.frontEnd.errorText, ClientSetup::strings(f.root)->lookup(QStringLiteral("failed_to_prepare")));
        QVERIFY(f.service->requests().empty());
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(QFileInfo::exists(victim));
        QVERIFY(ClientLogReader::contains(QStringLiteral("Error"), path,
                                          QStringLiteral(" <- file is not in a job folder of the spool folder")));
    }

    void spoolFileArrivingLateIsUploaded()
    {
        JobFixture f;
        QVERIFY(f.started);
        f.clock = std::make_shared<testsupport::FakeClock>(1'800'000'000.25);
        const QString path = ClientSetup::spoolPath(f.root, QStringLiteral("job1"));
        QFile::remove(path);
        f.makeJob().start({QStringLiteral("client"), JobArgument::compose(QStringLiteral("Late.pdf"), path)});
        // Still waiting after several looks for the file.
        QVERIFY(QTest::qWaitFor([&f] { return f.clock->readings() >= spoolLooks; }, 30000));
        QCOMPARE(f.frontEnd.end, End::None);
        // Twenty and a half seconds later the backend has written it.
        f.clock->advance(20.5);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(JobFixture::pdfBytes(2048));
        file.close();
        QCOMPARE(f.waitForEnd(), End::ReleaseCode);
        QVERIFY2(ClientLogReader::contains(QStringLiteral("Debug"), QStringLiteral("20"),
                                           QStringLiteral("time interval to convert")),
                 qPrintable(ClientLogReader::dump()));
    }

    void spoolFileThatNeverComesTimesOut_data()
    {
        QTest::addColumn<int>("conversiontimeout");
        QTest::newRow("180") << 180;
        QTest::newRow("0") << 0;
    }

    void spoolFileThatNeverComesTimesOut()
    {
        QFETCH(int, conversiontimeout);
        JobFixture f;
        QVERIFY(f.started);
        f.configure(false, {{QStringLiteral("conversiontimeout"), conversiontimeout}});
        f.clock = std::make_shared<testsupport::FakeClock>(1'800'000'000.0);
        const QString path = ClientSetup::spoolPath(f.root, QStringLiteral("job1"));
        f.makeJob().start({QStringLiteral("client"), JobArgument::compose(QStringLiteral("Never.pdf"), path)});
        f.clock->advance(conversiontimeout + 0.9); // still within the limit in whole seconds
        const int readings = f.clock->readings();
        QVERIFY(QTest::qWaitFor([&] { return f.clock->readings() >= readings + spoolLooks; }, 30000));
        QCOMPARE(f.frontEnd.end, End::None);
        f.clock->advance(0.1);
        QCOMPARE(f.waitForEnd(), End::Error);
        QCOMPARE(f.frontEnd.errorText, ClientSetup::strings(f.root)->lookup(QStringLiteral("failed_to_prepare")));
        QVERIFY(ClientLogReader::contains(QStringLiteral("Error"), QStringLiteral("Conversion Timeout"),
                                          QStringLiteral("Inside upload file")));
        QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
        QCOMPARE(int(f.service->requests().size()), 1); // the service time only
    }

    void sizeLimit_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("1 MiB limit, just under 2 MiB") << 1 << qint64(2 * 1048576 - 1) << "1.9990234375" << true;
        QTest::newRow("1 MiB limit, 2 MiB") << 1 << qint64(2 * 1048576) << "2.0" << false;
        QTest::newRow("0 limit, under 1 MiB") << 0 << qint64(1048575) << "0.9990234375" << true;
        QTest::newRow("0 limit, empty file") << 0 << qint64(0) << "0.0" << true;
        QTest::newRow("0 limit, 1 MiB") << 0 << qint64(1048576) << "1.0" << false;
    }

    void sizeLimit()
    {
        QFETCH(int, limit);
        QFETCH(qint64, size);
        QFETCH(QString, logged);
        QFETCH(bool, accepted);
        JobFixture f;
        QVERIFY(f.started);
        f.configure(false, {{QStringLiteral("filesizelimitinmb"), limit}});
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(size));
        QCOMPARE(f.runSpoolFile(path), accepted ? End::ReleaseCode : End::Error);
        QVERIFY2(ClientLogReader::contains(QStringLiteral("Status"), logged, QStringLiteral("filesize in MB")),
                 qPrintable(ClientLogReader::dump()));
        QCOMPARE(ClientLogReader::contains(QStringLiteral("Status"), QStringLiteral("file size exceeded"),
                                           QStringLiteral("Inside upload file")),
                 !accepted);
        QCOMPARE(f.service->jobs().size(), size_t(accepted ? 1 : 0));
        if (accepted)
            QCOMPARE(f.service->jobs().front().fileSize, std::uint64_t(size));
        else
            QCOMPARE(f.frontEnd.errorText, ClientSetup::strings(f.root)->lookup(QStringLiteral("size_exceeds")));
        QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
    }

    void unreadableSpoolFile()
    {
        JobFixture f;
        QVERIFY(f.started);
        const QString path = ClientSetup::spoolPath(f.root, QStringLiteral("job1"));
        QVERIFY(QDir().mkpath(path)); // a folder where the file should be
        QCOMPARE(f.runSpoolFile(path), End::Error);
        QCOMPARE(f.frontEnd.errorText, ClientSetup::strings(f.root)->lookup(QStringLiteral("failed_to_prepare")));
        QVERIFY(ClientLogReader::contains(QStringLiteral("Error"), QStringLiteral("No File from agent"),
                                          QStringLiteral("Inside upload file")));
        QVERIFY(f.service->jobs().empty());
    }

    void ownerAddress_data()
    {
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QString>("entered");
        QTest::addColumn<QString>("sent"); // empty: no "OwnerEmail" member
        QTest::newRow("remembered wins") << "kept@example.test" << "typed@example.test" << "kept@example.test";
        QTest::newRow("entered") << QString() << "typed@example.test" << "typed@example.test";
        QTest::newRow("none") << QString() << QString() << QString();
    }

    void ownerAddress()
    {
        QFETCH(QString, remembered);
        QFETCH(QString, entered);
        QFETCH(QString, sent);
        JobFixture f;
        QVERIFY(f.started);
        ClientSetup::writeClientConfig(f.root, {{QStringLiteral("owneremail"), remembered}});
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(100));
        f.makeJob().setOwnerEmail(entered);
        f.job->start({QStringLiteral("client"), JobArgument::compose(QStringLiteral("a.pdf"), path)});
        QCOMPARE(f.waitForEnd(), End::ReleaseCode);
        const auto job = f.service->jobs().front();
        const QJsonObject owner = QJsonDocument::fromJson(QByteArray::fromStdString(job.ownerJson)).object();
        QCOMPARE(owner.value(QStringLiteral("UploadClient")).toInt(), 5);
        QCOMPARE(owner.value(QStringLiteral("EmailTo")).toString(), QStringLiteral("print@service.test"));
        QCOMPARE(owner.contains(QStringLiteral("OwnerEmail")), !sent.isEmpty());
        QCOMPARE(owner.value(QStringLiteral("OwnerEmail")).toString(), sent);
        QCOMPARE(owner.size(), sent.isEmpty() ? 2 : 3);
    }

    // The job identifier becomes a path segment of every poll: anything but
    // a plain one is an answer the upload step cannot use.
    void jobIdentifierMustBeAPlainSegment_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("missing") << Fault::without("DocID") << false;
        QTest::newRow("a number") << Fault::withMember("DocID", "42") << false;
        QTest::newRow("empty") << Fault::withMember("DocID", "\"\"") << false;
        QTest::newRow("climbing up") << Fault::withMember("DocID", "\"../servertime\"") << false;
        QTest::newRow("two segments") << Fault::withMember("DocID", "\"a/b\"") << false;
        QTest::newRow("a query") << Fault::withMember("DocID", "\"a?admin=1\"") << false;
        QTest::newRow("a fragment") << Fault::withMember("DocID", "\"a#b\"") << false;
        QTest::newRow("a blank") << Fault::withMember("DocID", "\"a b\"") << false;
        QTest::newRow("129 characters") << Fault::withMember("DocID", "\"" + std::string(129, 'A') + "\"") << false;
        QTest::newRow("128 letters, digits, - and _")
            << Fault::withMember("DocID", "\"" + std::string(125, 'A') + "9-_\"") << true;
    }
    void jobIdentifierMustBeAPlainSegment()
    {
        QFETCH(Fault, fault);
        QFETCH(bool, accepted);
        JobFixture f;
        QVERIFY(f.started);
        f.service->setFault(Call::CreateJob, fault);
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(100));
        QCOMPARE(f.runSpoolFile(path), End::Error);
        QCOMPARE(f.job->docID().has_value(), accepted);
        if (accepted) {
            // Taken as it is; the service does not know it.
            const auto &requests = f.service->requests();
            QCOMPARE(int(requests.size()), 3);
            QCOMPARE(JobFixture::text(requests.back().path), QStringLiteral("/api/v2/drns/") + *f.job->docID());
            return;
        }
        QCOMPARE(f.frontEnd.errorText, ClientSetup::strings(f.root)->lookup(QStringLiteral("unable_to_accept")));
        QVERIFY(ClientLogReader::contains(QStringLiteral("Error"), QStringLiteral("error in drn post"), QString()));
        // Nothing was asked with it: the service clock and the upload only.
        QCOMPARE(int(f.service->requests().size()), 2);
    }

    void invalidServiceAddress()
    {
        JobFixture f;
        QVERIFY(f.started);
        f.configure(false, {{QStringLiteral("host"), QStringLiteral("print service.test")}});
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(100));
        QCOMPARE(f.runSpoolFile(path), End::Error);
        QCOMPARE(f.frontEnd.errorText, ClientSetup::strings(f.root)->lookup(QStringLiteral("connection_not_established")));
        QVERIFY(ClientLogReader::contains(QStringLiteral("Error"), QStringLiteral("http://print service.test/api/v2/servertime"),
                                          QStringLiteral(" <- invalid service address")));
        QVERIFY(f.service->requests().empty());
    }

    // Signed requests stay with the service: a redirect is a failed answer.
    void redirectsAreNotFollowed()
    {
        JobFixture f;
        QVERIFY(f.started);
        f.service->setFault(Call::ServerTime, Fault::redirect(302, "/api/v2/servertime?again").only(1));
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(100));
        QCOMPARE(f.runSpoolFile(path), End::Error);
        QVERIFY(ClientLogReader::contains(QStringLiteral("Error"), QStringLiteral("302"),
                                          QStringLiteral("Status Code <- Error in get servertime ")));
        QCOMPARE(f.service->requests().size(), size_t(1));
    }

    void cancelDeletesOnlyTheSpoolFile()
    {
        JobFixture f;
        QVERIFY(f.started);
        f.service->setFault(Call::CreateJob, Fault::delayed(1500ms));
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(4096));
        QFile::copy(path, QFileInfo(path).path() + QStringLiteral("/other"));
        f.makeJob().start({QStringLiteral("client"), JobArgument::compose(QStringLiteral("a.pdf"), path)});
        QVERIFY(QTest::qWaitFor([&] { return f.frontEnd.events.contains(QStringLiteral("determinate")); }, 10000));
        f.job->cancel();
        QCOMPARE(f.frontEnd.end, End::Quit);
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(QFileInfo::exists(QFileInfo(path).path() + QStringLiteral("/other")));
        // The held-back answer never reaches the job: the service sees it leave.
        QTRY_COMPARE_WITH_TIMEOUT(f.service->requestsInProgress(), 0, 20000);
        QCOMPARE(f.frontEnd.endings, 1);
        QCOMPARE(f.frontEnd.end, End::Quit);
        QVERIFY(f.service->requests().size() <= 2);
    }

    // Cancel while the body is on its way: the request is aborted, so the
    // service never gets a whole upload and makes no job.
    void cancelStopsTheUploadInFlight()
    {
        JobFixture f;
        QVERIFY(f.started);
        const QString path =
            ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(60 * 1024 * 1024));
        // Pressed while the body is on its way, as a user would.
        f.frontEnd.onProgress = [&f](int percent) {
            if (percent > 0 && percent < 100 && f.frontEnd.end == End::None)
                f.job->cancel();
        };
        f.makeJob().start({QStringLiteral("client"), JobArgument::compose(QStringLiteral("a.pdf"), path)});
        QTRY_COMPARE_WITH_TIMEOUT(f.frontEnd.end, End::Quit, 20000);
        const auto upload = [&f]() -> std::optional<releaseservice::RequestRecord> {
            for (const auto &request : f.service->requests()) {
                if (request.call == Call::CreateJob)
                    return request;
            }
            return std::nullopt;
        };
        QTRY_VERIFY_WITH_TIMEOUT(upload().has_value(), 20000);
        QCOMPARE(upload()->error, std::string("body not received"));
        QVERIFY(f.service->jobs().empty());
    }

    // A job the service never converts ends after the administrator's limit.
    void neverConvertedJobEndsAfterTheLimit()
    {
        ReleaseService::Options options;
        options.statusSequence = {1};
        JobFixture f(false, options);
        QVERIFY(f.started);
        f.configure(false, {{QStringLiteral("drnpollingtimeinsecond"), 0}, {QStringLiteral("drnpollinglimitinsecond"), 60}});
        f.clock = std::make_shared<testsupport::FakeClock>(1'800'000'000.0, 7.0);
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(100));
        QCOMPARE(f.runSpoolFile(path), End::Error);
        QCOMPARE(f.frontEnd.errorText, ClientSetup::strings(f.root)->lookup(QStringLiteral("unable_to_process_document")));
        QVERIFY(ClientLogReader::contains(QStringLiteral("Error"), QStringLiteral("Conversion not finished within 60 seconds"),
                                          QStringLiteral("Error in DRN Get ")));
        int polls = 0;
        for (const auto &request : f.service->requests())
            polls += request.call == Call::JobStatus ? 1 : 0;
        QVERIFY(polls >= 1 && polls <= 10);
    }

    // The document name goes into one header line: nothing in it may start
    // another line of the request.
    void documentNameCannotBreakTheHeader()
    {
        JobFixture f;
        QVERIFY(f.started);
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(100));
        const QString name = QStringLiteral("Report\r\nX-Injected: 1\u2028\x1b[31m.pdf");
        QCOMPARE(f.runSpoolFile(path, name), End::ReleaseCode);
        QCOMPARE(f.frontEnd.fileName, name);
        QCOMPARE(JobFixture::text(f.service->jobs().front().contentDescription),
                 QStringLiteral("Report  X-Injected: 1  [31m.pdf"));
    }

    void cancelOfMissingFileIsLogged()
    {
        JobFixture f;
        QVERIFY(f.started);
        const QString path = ClientSetup::spoolPath(f.root, QStringLiteral("job1"));
        f.makeJob().start({QStringLiteral("client"), JobArgument::compose(QStringLiteral("a.pdf"), path)});
        f.job->cancel();
        QCOMPARE(f.frontEnd.end, End::Quit);
        QVERIFY(ClientLogReader::contains(QStringLiteral("Error"), path, QStringLiteral("Delete from UI Cancel file not found")));
        QVERIFY(QFileInfo(QFileInfo(path).path()).isDir());
    }

    void errorTexts_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("translations");
        QTest::addColumn<QString>("expected");
        QTest::newRow("english") << "en" << true << "Your document is larger than the print service accepts.";
        QTest::newRow("french") << "fr" << true << "Votre document dépasse la taille acceptée";
        QTest::newRow("no table") << "en" << false << "**size_exceeds**";
    }

    void errorTexts()
    {
        QFETCH(QString, language);
        QFETCH(bool, translations);
        QFETCH(QString, expected);
        JobFixture f;
        QVERIFY(f.started);
        QLocale::setDefault(QLocale(language));
        if (!translations) {
            QFile::remove(f.root.resourceDir() + QStringLiteral("/Main_en.qm"));
            QFile::remove(f.root.resourceDir() + QStringLiteral("/Main_fr.qm"));
        }
        f.configure(false, {{QStringLiteral("filesizelimitinmb"), 0}});
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(1048576));
        QCOMPARE(f.runSpoolFile(path), End::Error);
        QVERIFY2(f.frontEnd.errorText.startsWith(expected), qPrintable(f.frontEnd.errorText));
    }
};

QTEST_GUILESS_MAIN(TestUploadSteps)
#include "tst_uploadsteps.moc"
