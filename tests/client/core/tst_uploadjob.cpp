// The job runner against the substitute release service on loopback: the
// whole road and every failure, each to its log line and error text.
#include "client/core/DeviceIdentity.h"
#include "client/core/JobArgument.h"
#include "client/core/ServiceRequest.h"
#include "shared/StringTable.h"
#include "client/core/UploadJob.h"
#include "client/support/ClientLogReader.h"
#include "client/support/ClientSetup.h"
#include "client/support/JobFixture.h"
#include "client/support/RecordingFrontEnd.h"
#include "release-service/ReleaseService.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QTest>
#include <QTimer>

using namespace tavoren;
using namespace tavoren::client;
using clienttest::ClientLogReader;
using clienttest::ClientSetup;
using clienttest::JobFixture;
using clienttest::RecordingFrontEnd;
using releaseservice::Call;
using releaseservice::Fault;
using releaseservice::ReleaseService;
using testsupport::TestRoot;
using End = RecordingFrontEnd::End;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(Fault)

namespace {
const QString serial = QStringLiteral("00:1a:2b:3c:4d:5e");
} // namespace

class TestUploadJob : public QObject
{
    Q_OBJECT

private slots:
    void wholeRoad_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::newRow("http") << false;
        QTest::newRow("https with test authority") << true;
    }

    void wholeRoad()
    {
        QFETCH(bool, secure);
        ReleaseService::Options options;
        options.clockOffsetSeconds = 3600;
        options.statusSequence = {1, 2, 2, 4};
        JobFixture f(secure, options);
        QVERIFY(f.started);
        f.configure(secure, {{QStringLiteral("emailto"), QStringLiteral("print@service.test")}});
        const QByteArray content = JobFixture::pdfBytes(300 * 1024 + 17);
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), content);

        f.makeJob().setOwnerEmail(QStringLiteral("ann@example.test"));
        f.job->start({QStringLiteral("client"), JobArgument::compose(QStringLiteral("Quarterly Report.pdf"), path)});
        QVERIFY(QTest::qWaitFor([&] { return f.frontEnd.end != End::None; }, 30000));
        QCOMPARE(f.frontEnd.end, End::ReleaseCode);
        QCOMPARE(f.frontEnd.endings, 1);

        // The service clock runs an hour ahead.
        QVERIFY2(qAbs(f.job->timeDifference() - 3600) <= 1, qPrintable(QString::number(f.job->timeDifference())));

        const auto jobs = f.service->jobs();
        QCOMPARE(jobs.size(), size_t(1));
        const auto &received = jobs.front();
        QCOMPARE(f.frontEnd.docID, JobFixture::text(received.docId));
        QCOMPARE(f.frontEnd.fileName, QStringLiteral("Quarterly Report.pdf"));
        QCOMPARE(JobFixture::text(received.contentDescription), QStringLiteral("Quarterly Report.pdf"));
        QCOMPARE(JobFixture::text(received.serial), serial);
        QCOMPARE(received.ownerEmail, std::optional<std::string>("ann@example.test"));
        QCOMPARE(JobFixture::text(received.emailTo), QStringLiteral("print@service.test"));
        QFile stored(JobFixture::text(received.storedFile));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY(stored.readAll() == content);

        // Clock, upload, three polls in progress and the converted one.
        QStringList calls;
        for (const auto &request : f.service->requests())
            calls.append(JobFixture::text(std::string(releaseservice::callName(request.call))) + QLatin1Char(' ')
                         + QString::number(request.status));
        QCOMPARE(calls, (QStringList{QStringLiteral("servertime 200"), QStringLiteral("create 201"),
                                     QStringLiteral("status 200"), QStringLiteral("status 200"),
                                     QStringLiteral("status 200"), QStringLiteral("status 200")}));

        // The job folder went when the service accepted the file.
        QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
        QVERIFY(f.frontEnd.progress.contains(100));
        QCOMPARE(f.frontEnd.events, (QStringList{QStringLiteral("indeterminate"), QStringLiteral("determinate"),
                                                 QStringLiteral("cancel off"), QStringLiteral("indeterminate")}));

        for (const auto &[level, message, details] : {
                 std::tuple{"Debug", path, QStringLiteral("<-filepath")},
                 std::tuple{"Debug", QStringLiteral("pdf"), QStringLiteral("<-fileextension")},
                 std::tuple{"Debug", QStringLiteral("0"), QStringLiteral("time interval to convert")},
                 std::tuple{"Status", QStringLiteral("0.29296875"), QStringLiteral("filesize in MB")},
                 std::tuple{"Status", QStringLiteral("file uploading started"), QString()},
                 std::tuple{"Status", QStringLiteral("file converted"), QString()},
             }) {
            QVERIFY2(ClientLogReader::contains(QString::fromLatin1(level), message, details),
                     qPrintable(ClientLogReader::dump()));
        }
        QCOMPARE(ClientLogReader::countLevel(QStringLiteral("Error")), 0);
    }

    void untrustedCertificateFails()
    {
        ReleaseService::Options options;
        options.certificateFile = TAVOREN_TEST_DATA_DIR "/certs/untrusted-server.pem";
        options.keyFile = TAVOREN_TEST_DATA_DIR "/certs/untrusted-server.key";
        JobFixture f(false, options);
        QVERIFY(f.started);
        f.root.trustTestAuthority(); // trusts the other authority only
        f.configure(true);
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(1000));
        QCOMPARE(f.runSpoolFile(path), End::Error);
        QCOMPARE(f.frontEnd.errorText, f.job->errorText());
        QVERIFY(f.frontEnd.errorText.contains(QStringLiteral("could not reach")));
        const auto errors = ClientLogReader::entries();
        QVERIFY(std::any_of(errors.cbegin(), errors.cend(), [](const clienttest::LogEntry &e) {
            return e.level == QStringLiteral("Error") && e.details == QStringLiteral("Error in get servertime ")
                && e.message.contains(QStringLiteral("SslHandshakeFailedError"));
        }));
        QVERIFY(f.service->jobs().empty());
        QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
    }

    // Qt takes a certificate whose common name is the host even when its
    // alternative names list others; the client does not.
    void certificateMustNameTheHost()
    {
        ReleaseService::Options options;
        options.certificateFile = TAVOREN_TEST_DATA_DIR "/certs/san-mismatch-server.pem";
        options.keyFile = TAVOREN_TEST_DATA_DIR "/certs/san-mismatch-server.key";
        JobFixture f(false, options);
        QVERIFY(f.started);
        f.root.trustTestAuthority();
        f.configure(true);
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(1000));
        QCOMPARE(f.runSpoolFile(path), End::Error);
        QCOMPARE(f.frontEnd.errorText, ClientSetup::strings(f.root)->lookup(QStringLiteral("connection_not_established")));
        QVERIFY2(ClientLogReader::contains(QStringLiteral("Error"),
                                           QStringLiteral("the certificate of 127.0.0.1 names other hosts (127.0.0.1)"),
                                           QStringLiteral("Error in get servertime ")),
                 qPrintable(ClientLogReader::dump()));
        QVERIFY(f.service->jobs().empty());
    }

    void certificateNames_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("named");
        const QString server = QStringLiteral("server.pem");
        const QString mismatch = QStringLiteral("san-mismatch-server.pem");
        QTest::newRow("IPv4 address") << server << "127.0.0.1" << true;
        QTest::newRow("IPv6 address") << server << "::1" << true;
        QTest::newRow("DNS name") << server << "release.test" << true;
        QTest::newRow("DNS name in capitals") << server << "RELEASE.TEST" << true;
        QTest::newRow("another address") << server << "127.0.0.2" << false;
        QTest::newRow("another name") << server << "elsewhere.test" << false;
        QTest::newRow("a name below a listed one") << server << "x.release.test" << false;
        QTest::newRow("common name only") << mismatch << "127.0.0.1" << false;
        QTest::newRow("the one listed name") << mismatch << "elsewhere.test" << true;
    }
    void certificateNames()
    {
        QFETCH(QString, certificate);
        QFETCH(QString, host);
        QFETCH(bool, named);
        const auto certificates =
            QSslCertificate::fromPath(QStringLiteral(TAVOREN_TEST_DATA_DIR "/certs/") + certificate, QSsl::Pem);
        QVERIFY(!certificates.isEmpty());
        QCOMPARE(client::ServiceRequest::namesHost(certificates.first(), host), named);
    }

    // However the service sends its answer, the client reads at most the
    // limit of it and the whole request ends at its time-out: the job fails
    // as soon as either is passed, and the service sees the client leave.
    void answersAreBounded_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QVariantMap>("admin");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");
        QTest::addColumn<QString>("key");
        const auto quickTimeouts = QVariantMap{{QStringLiteral("getservertimeout"), 1},
                                               {QStringLiteral("createdrntimeout"), 1},
                                               {QStringLiteral("getdrntimeout"), 1}};
        constexpr std::uint64_t mebibyte = 1024 * 1024;
        QTest::newRow("server time trickled") << Call::ServerTime << Fault::trickled(200ms) << quickTimeouts
                                              << "No whole answer within the time-out of 1 s"
                                              << "Error in get servertime " << "connection_not_established";
        QTest::newRow("server time of 200 MiB, chunked") << Call::ServerTime << Fault::chunked(200 * mebibyte)
                                                         << QVariantMap() << "JSONSerialization issue"
                                                         << "Error in get servertime " << "connection_not_established";
        QTest::newRow("upload answer of 200 MiB, chunked")
            << Call::CreateJob << Fault::chunked(200 * mebibyte) << QVariantMap() << "error in drn post" << QString()
            << "unable_to_accept";
        QTest::newRow("upload answer trickled") << Call::CreateJob << Fault::trickled(200ms) << quickTimeouts
                                                << "No whole answer within the time-out of 1 s" << QString()
                                                << "unable_to_accept";
        QTest::newRow("job record, a compression bomb of 8 GiB")
            << Call::JobStatus << Fault::parse("inflate=8GiB,chunked").value() << QVariantMap()
            << "The job record is larger than an answer may be." << "Error in DRN Get " << "unable_to_process_document";
        QTest::newRow("job record of 200 MiB, gzip")
            << Call::JobStatus << Fault::parse("chunked=200MiB,gzip").value() << QVariantMap()
            << "The job record is larger than an answer may be." << "Error in DRN Get " << "unable_to_process_document";
    }
    void answersAreBounded()
    {
        QFETCH(Call, call);
        QFETCH(Fault, fault);
        QFETCH(QVariantMap, admin);
        QFETCH(QString, message);
        QFETCH(QString, details);
        QFETCH(QString, key);
        JobFixture f;
        QVERIFY(f.started);
        f.configure(false, admin);
        f.service->setFault(call, fault);
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(5000));
        QCOMPARE(f.runSpoolFile(path), End::Error);
        QCOMPARE(f.frontEnd.errorText, ClientSetup::strings(f.root)->lookup(key));
        QVERIFY2(ClientLogReader::contains(QStringLiteral("Error"), message, details), qPrintable(ClientLogReader::dump()));
        // The client did not read on to the end: the answer stops with it.
        QTRY_COMPARE_WITH_TIMEOUT(f.service->requestsInProgress(), 0, 60000);
    }

    // A compressed answer within the limit is read as the plain one.
    void compressedAnswersAreRead()
    {
        JobFixture f;
        QVERIFY(f.started);
        for (const Call call : {Call::ServerTime, Call::CreateJob, Call::JobStatus})
            f.service->setFault(call, Fault::gzipped());
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(5000));
        QCOMPARE(f.runSpoolFile(path), End::ReleaseCode);
    }

    // Every failure: the call it hits, the fault, the log line and the key.
    void failures_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QVariantMap>("admin");
        QTest::addColumn<QString>("level");   // empty: no log line at Error or Debug for it
        QTest::addColumn<QString>("message"); // a prefix is enough for transport errors
        QTest::addColumn<QString>("details");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("accepted"); // whether the client saw the job accepted

        const QVariantMap none;
        const auto quickTimeouts = QVariantMap{{QStringLiteral("getservertimeout"), 1},
                                               {QStringLiteral("createdrntimeout"), 1},
                                               {QStringLiteral("getdrntimeout"), 1}};

        QTest::newRow("servertime 429") << Call::ServerTime << Fault::withStatus(429, std::string(R"({"ServerTime":1})"))
                                        << none << QString() << QString() << QString() << "limit_reached" << false;
        QTest::newRow("servertime 503") << Call::ServerTime << Fault::withStatus(503) << none << "Error" << "503"
                                        << "Status Code <- Error in get servertime " << "connection_not_established" << false;
        QTest::newRow("servertime not JSON") << Call::ServerTime << Fault::withBody("<html>maintenance</html>") << none
                                             << "Error" << "JSONSerialization issue" << "Error in get servertime "
                                             << "connection_not_established" << false;
        QTest::newRow("servertime array") << Call::ServerTime << Fault::withBody("[1700000000]") << none << "Error"
                                          << "JSONSerialization issue" << "Error in get servertime "
                                          << "connection_not_established" << false;
        QTest::newRow("servertime missing") << Call::ServerTime << Fault::without("ServerTime") << none << "Error"
                                            << "JSONSerialization issue" << "Error in get servertime "
                                            << "connection_not_established" << false;
        QTest::newRow("servertime fraction") << Call::ServerTime << Fault::withMember("ServerTime", "1700000000.5")
                                             << none << "Error" << "JSONSerialization issue"
                                             << "Error in get servertime " << "connection_not_established" << false;
        QTest::newRow("servertime text") << Call::ServerTime << Fault::withMember("ServerTime", "\"1700000000\"")
                                         << none << "Error" << "JSONSerialization issue"
                                         << "Error in get servertime " << "connection_not_established" << false;
        QTest::newRow("servertime time-out") << Call::ServerTime << Fault::delayed(2500ms) << quickTimeouts << "Error"
                                             << "No whole answer within the time-out of 1 s" << "Error in get servertime "
                                             << "connection_not_established" << false;
        QTest::newRow("servertime dropped") << Call::ServerTime << Fault::dropped() << none << "Error"
                                            << "QNetworkReply::RemoteHostClosedError" << "Error in get servertime "
                                            << "connection_not_established" << false;

        QTest::newRow("upload 200") << Call::CreateJob << Fault::withStatus(200, std::string(R"({"DocID":"X"})")) << none
                                    << QString() << QString() << QString() << "unable_to_accept" << false;
        QTest::newRow("upload 500") << Call::CreateJob << Fault::withStatus(500) << none << QString() << QString()
                                    << QString() << "unable_to_accept" << false;
        QTest::newRow("upload 429") << Call::CreateJob << Fault::withStatus(429) << none << QString() << QString()
                                    << QString() << "unable_to_accept" << false;
        QTest::newRow("upload not JSON") << Call::CreateJob << Fault::withStatus(201, std::string("created"))
                                         << none << "Error" << "error in drn post" << QString() << "unable_to_accept"
                                         << false;
        QTest::newRow("upload time-out") << Call::CreateJob << Fault::delayed(2500ms) << quickTimeouts << "Error"
                                         << "No whole answer within the time-out of 1 s" << QString() << "unable_to_accept"
                                         << false;
        QTest::newRow("upload dropped") << Call::CreateJob << Fault::dropped() << none << "Error"
                                        << "QNetworkReply::RemoteHostClosedError" << QString() << "unable_to_accept" << false;

        QTest::newRow("poll 429 on the fifth") << Call::JobStatus << Fault::withStatus(429).from(5) << none << "Debug"
                                               << "429" << "Status Code <- Error in DRN Get " << "limit_reached" << true;
        QTest::newRow("poll 404") << Call::JobStatus << Fault::withStatus(404) << none << "Error" << "404"
                                  << "<- Status Code Error in DRN Get " << "unable_to_process_document" << true;
        QTest::newRow("poll without UploadClient") << Call::JobStatus << Fault::without("UploadClient") << none << "Error"
                                                   << "The job record lacks the required member \"UploadClient\"."
                                                   << "Error in DRN Get " << "unable_to_process_document" << true;
        QTest::newRow("poll not JSON") << Call::JobStatus << Fault::withBody("oops") << none << "Error"
                                       << "The job record is not valid JSON" << "Error in DRN Get "
                                       << "unable_to_process_document" << true;
        QTest::newRow("poll status 5") << Call::JobStatus << Fault::withMember("Status", "5") << none << QString()
                                       << QString() << QString() << "unable_to_process_document" << true;
        QTest::newRow("poll time-out") << Call::JobStatus << Fault::delayed(2500ms) << quickTimeouts << "Error"
                                       << "No whole answer within the time-out of 1 s" << "Error in DRN Get "
                                       << "unable_to_process_document" << true;
        QTest::newRow("poll dropped") << Call::JobStatus << Fault::dropped() << none << "Error"
                                      << "QNetworkReply::RemoteHostClosedError" << "Error in DRN Get "
                                      << "unable_to_process_document" << true;
    }

    void failures()
    {
        QFETCH(Call, call);
        QFETCH(Fault, fault);
        QFETCH(QVariantMap, admin);
        QFETCH(QString, level);
        QFETCH(QString, message);
        QFETCH(QString, details);
        QFETCH(QString, key);
        QFETCH(bool, accepted);

        ReleaseService::Options options;
        options.statusSequence = {1, 2, 3, 3, 3, 3, 4};
        JobFixture f(false, options);
        QVERIFY(f.started);
        f.configure(false, admin);
        f.service->setFault(call, fault);
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job1"), JobFixture::pdfBytes(5000));

        QCOMPARE(f.runSpoolFile(path), End::Error);
        QCOMPARE(f.frontEnd.endings, 1);
        QCOMPARE(f.frontEnd.errorText, ClientSetup::strings(f.root)->lookup(key));
        // A held-back answer still leaves the job with the service.
        const bool serviceKeeps = accepted || (call == Call::CreateJob && fault.delay > 0ms);
        QCOMPARE(!f.service->jobs().empty(), serviceKeeps);

        const auto entries = ClientLogReader::entries();
        const auto matches = [&](const clienttest::LogEntry &e) {
            return e.level == level && e.message.startsWith(message) && e.details == details;
        };
        if (level.isEmpty()) {
            QCOMPARE(ClientLogReader::countLevel(QStringLiteral("Error")), call == Call::JobStatus ? 1 : 0);
        } else {
            QVERIFY2(std::any_of(entries.cbegin(), entries.cend(), matches), qPrintable(ClientLogReader::dump()));
        }
        // Every error transition deletes the job folder; after acceptance it
        // is already gone and the second attempt is logged.
        QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
        QCOMPARE(ClientLogReader::contains(QStringLiteral("Error"), QFileInfo(path).path(),
                                           QStringLiteral(" <- Could not delete folder")),
                 accepted);
        // Nothing runs on after the end: once the service has seen the job
        // leave, and what the job queued has run, no request follows.
        QTRY_COMPARE_WITH_TIMEOUT(f.service->requestsInProgress(), 0, 20000);
        const int requests = int(f.service->requests().size());
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(int(f.service->requests().size()), requests);
        QCOMPARE(f.frontEnd.endings, 1);
    }

};

QTEST_GUILESS_MAIN(TestUploadJob)
#include "tst_uploadjob.moc"
