// Faults, records and the job record over real loopback connections, over
// HTTP and HTTPS, as a client of the service sees them.
#include "release-service/ReleaseService.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

Q_DECLARE_METATYPE(tavoren::releaseservice::Call)
Q_DECLARE_METATYPE(tavoren::releaseservice::Fault)

using namespace tavoren::releaseservice;
using namespace std::chrono_literals;

namespace {
const std::string boundary = "Boundary-7A0B1C2D-3E4F-5061-7283-94A5B6C7D8E9";

// A correct client, written apart from the service's own signing code.
httplib::Headers signedHeaders(const std::string &method, const std::string &docId, std::int64_t timestamp)
{
    const std::string t = std::to_string(timestamp);
    const QString text = QString::fromStdString("timestamp=" + t + "method=" + method + "resource=/api/v2/drns/" + docId).toLower();
    const QByteArray mac = QMessageAuthenticationCode::hash(text.toUtf8(), "8Hq%V27%5Lm&Xw3c", QCryptographicHash::Sha256);
    return {{"Tavoren-signature", mac.toBase64().toStdString()},
            {"Tavoren-timestamp", t},
            {"Tavoren-clientid", "6f2b8e41-0c7d-4a93-b5e6-19d4c3a7f802"},
            {"Tavoren-serial", "00:1a:2b:3c:4d:5e"}};
}

std::string uploadBody(const std::string &file)
{
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"Owner\"\r\nContent-Type: application/json\r\n\r\n"
        + R"({"UploadClient":5,"EmailTo":"print@release.test"})" + "\r\n--" + boundary
        + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"Untitled.pdf\"\r\nContent-Description: Memo"
        + "\r\nContent-Type: application/pdf\r\n\r\n" + file + "\r\n--" + boundary + "--\r\n";
}

QJsonObject objectOf(const httplib::Result &result)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
}

struct Peer
{
    explicit Peer(bool secure, std::string address = "127.0.0.1", std::int64_t clockOffset = 0)
    {
        ReleaseService::Options options;
        options.address = std::move(address);
        options.storageDir = dir.path().toStdString();
        options.statusSequence = {1, 2, 4};
        options.clockOffsetSeconds = clockOffset;
        if (secure) {
            options.certificateFile = TAVOREN_TEST_DATA_DIR "/certs/server.pem";
            options.keyFile = TAVOREN_TEST_DATA_DIR "/certs/server.key";
        }
        service = std::make_unique<ReleaseService>(options);
        started = service->start();
        if (secure) {
            auto ssl = std::make_unique<httplib::SSLClient>(options.address, service->port());
            ssl->set_ca_cert_path(TAVOREN_TEST_DATA_DIR "/certs/ca.pem");
            ssl->enable_server_certificate_verification(true);
            client = std::move(ssl);
        } else {
            client = std::make_unique<httplib::ClientImpl>(options.address, service->port());
        }
        client->set_keep_alive(true);
    }

    httplib::Result serverTime() { return client->Get("/api/v2/servertime"); }
    httplib::Result upload(const std::string &file = "%PDF-1.4")
    {
        return client->Post("/api/v2/drns/", signedHeaders("POST", "", service->serviceTime()), uploadBody(file),
                            ("multipart/form-data; boundary=" + boundary).c_str());
    }
    httplib::Result poll(const std::string &docId)
    {
        return client->Get(("/api/v2/drns/" + docId).c_str(), signedHeaders("GET", docId, service->serviceTime()));
    }

    QTemporaryDir dir;
    std::unique_ptr<ReleaseService> service;
    std::unique_ptr<httplib::ClientImpl> client;
    bool started = false;
};
} // namespace

class TestServiceFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A dropped connection must fail the test client's write, not end the test.
        std::signal(SIGPIPE, SIG_IGN);
    }

    void faultSeenByClient_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<Call>("call");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("status");      // 0: no answer at all
        QTest::addColumn<QString>("body");    // empty: not compared
        QTest::addColumn<int>("jobsAfter");   // accepted jobs once the faulted request is done
        QTest::addColumn<int>("nextStatus");  // job status of the poll after the faulted one, 0: none

        const std::string record = R"({"DocID":"X"})";
        for (const bool secure : {false, true}) {
            const auto row = [secure](const char *name) {
                return &QTest::newRow(qPrintable(QString::fromLatin1(name) + (secure ? QStringLiteral(" https") : QStringLiteral(" http"))));
            };
            *row("servertime 503") << secure << Call::ServerTime << Fault::withStatus(503) << 503 << R"({"Error":"injected fault"})" << 0 << 0;
            *row("servertime not JSON") << secure << Call::ServerTime << Fault::withBody("<html>") << 200 << "<html>" << 0 << 0;
            *row("servertime dropped") << secure << Call::ServerTime << Fault::dropped() << 0 << QString() << 0 << 0;
            *row("create 200 instead of 201") << secure << Call::CreateJob << Fault::withStatus(200, record) << 200 << R"({"DocID":"X"})" << 0 << 0;
            *row("create 429") << secure << Call::CreateJob << Fault::withStatus(429) << 429 << QString() << 0 << 0;
            *row("create without DocID") << secure << Call::CreateJob << Fault::without("DocID") << 201 << "{}" << 1 << 0;
            *row("create numeric DocID") << secure << Call::CreateJob << Fault::withMember("DocID", "5") << 201 << R"({"DocID":5})" << 1 << 0;
            *row("create dropped") << secure << Call::CreateJob << Fault::dropped() << 0 << QString() << 0 << 0;
            // The job is made under its own identifier; the answer names another.
            *row("create DocID not a path segment") << secure << Call::CreateJob << Fault::parse("set=DocID:\"../etc\"").value()
                                                    << 201 << "{\"DocID\":\"../etc\"}" << 1 << 0;
            *row("create DocID with a query, compressed") << secure << Call::CreateJob
                                                          << Fault::parse("gzip,set=DocID:\"AB12?x=1#y\"").value() << 201
                                                          << "{\"DocID\":\"AB12?x=1#y\"}" << 1 << 0;
            // A replaced answer does not move the job on; an edited one does.
            *row("status 429") << secure << Call::JobStatus << Fault::withStatus(429) << 429 << QString() << 1 << 1;
            *row("status array") << secure << Call::JobStatus << Fault::withBody("[]") << 200 << "[]" << 1 << 1;
            *row("status dropped") << secure << Call::JobStatus << Fault::dropped() << 0 << QString() << 1 << 1;
            *row("status without UploadClient") << secure << Call::JobStatus << Fault::without("UploadClient") << 200 << QString() << 1 << 2;
        }
    }

    void faultSeenByClient()
    {
        QFETCH(bool, secure);
        QFETCH(Call, call);
        QFETCH(Fault, fault);
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(int, jobsAfter);
        QFETCH(int, nextStatus);
        Peer peer(secure);
        QVERIFY2(peer.started, peer.service->lastError().c_str());

        std::string docId;
        if (call == Call::JobStatus)
            docId = objectOf(peer.upload()).value(QLatin1String("DocID")).toString().toStdString();
        peer.service->setFault(call, fault.only(1));
        const httplib::Result result = call == Call::ServerTime ? peer.serverTime()
            : call == Call::CreateJob                           ? peer.upload()
                                                                : peer.poll(docId);
        if (status == 0) {
            QVERIFY(!result);
        } else {
            QVERIFY2(result, httplib::to_string(result.error()).c_str());
            QCOMPARE(result->status, status);
            if (!body.isEmpty())
                QCOMPARE(QString::fromStdString(result->body), body);
        }
        QCOMPARE(int(peer.service->jobs().size()), jobsAfter);
        const RequestRecord last = peer.service->requests().back();
        QCOMPARE(last.call, call);
        QCOMPARE(last.status, status);
        QVERIFY(last.faulted);
        if (call == Call::JobStatus && nextStatus != 0) {
            // The fault applied once only; the next poll is served normally.
            const httplib::Result next = peer.poll(docId);
            QVERIFY(next);
            QCOMPARE(objectOf(next).value(QLatin1String("Status")).toInt(), nextStatus);
        }
    }

    void faultFromTheNthRequest()
    {
        Peer peer(false);
        QVERIFY(peer.started);
        const std::string docId = objectOf(peer.upload()).value(QLatin1String("DocID")).toString().toStdString();
        peer.service->setFault(Call::JobStatus, Fault::withStatus(429).from(3).only(2));
        QList<int> statuses;
        for (int i = 0; i < 6; ++i)
            statuses.append(peer.poll(docId)->status);
        QCOMPARE(statuses, (QList<int>{200, 200, 429, 429, 200, 200}));
        // Another call is not affected by a status fault.
        QCOMPARE(peer.serverTime()->status, 200);
    }

    void jobRecordHasEveryMemberWithItsType()
    {
        Peer peer(false);
        QVERIFY(peer.started);
        const std::string docId = objectOf(peer.upload("0123456789")).value(QLatin1String("DocID")).toString().toStdString();
        QCOMPARE(int(docId.size()), 8);
        QVERIFY(std::ranges::all_of(docId, [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }));
        const QJsonObject drn = objectOf(peer.poll(docId));
        QCOMPARE(drn.value(QLatin1String("DocID")).toString().toStdString(), docId);
        for (const char *name : {"EmailNotificationSent", "IsNotificationRequired"})
            QVERIFY2(drn.value(QLatin1String(name)).isBool(), name);
        for (const char *name : {"NotificationStatus", "Status", "UploadClient"})
            QVERIFY2(drn.value(QLatin1String(name)).isDouble(), name);
        QCOMPARE(drn.value(QLatin1String("EmailTo")).toString(), QStringLiteral("print@release.test"));
        QCOMPARE(drn.value(QLatin1String("UploadClient")).toInt(), 5);
        const QJsonArray documents = drn.value(QLatin1String("Documents")).toArray();
        QCOMPARE(documents.size(), 1);
        const QJsonObject document = documents.first().toObject();
        for (const char *name : {"DocumentType", "ErrorCode", "FileSize", "PageCount", "PdfFileSize", "Status"})
            QVERIFY2(document.value(QLatin1String(name)).isDouble(), name);
        QCOMPARE(document.value(QLatin1String("FileSize")).toInt(), 10);
        QCOMPARE(document.value(QLatin1String("Name")).toString(), QStringLiteral("Memo"));
    }

    void jobsProgressApart()
    {
        Peer peer(false);
        QVERIFY(peer.started);
        const std::string first = objectOf(peer.upload()).value(QLatin1String("DocID")).toString().toStdString();
        const std::string second = objectOf(peer.upload()).value(QLatin1String("DocID")).toString().toStdString();
        QVERIFY(first != second);
        const auto status = [&peer](const std::string &id) { return objectOf(peer.poll(id)).value(QLatin1String("Status")).toInt(); };
        QCOMPARE(status(first), 1);
        QCOMPARE(status(first), 2);
        QCOMPARE(status(second), 1);
        QCOMPARE(status(first), 4);
        QCOMPARE(status(first), 4);
        QCOMPARE(peer.poll("ZZZZ9999")->status, 404);
    }

    void serviceClockRunsAhead()
    {
        Peer peer(false, "127.0.0.1", 3600);
        QVERIFY(peer.started);
        const std::int64_t system = std::time(nullptr);
        const std::int64_t serverTime = objectOf(peer.serverTime()).value(QLatin1String("ServerTime")).toInteger();
        QVERIFY(serverTime >= system + 3600 - 1 && serverTime <= system + 3600 + 1);
        // Signed with the system clock, the upload is an hour out of the window.
        const auto late = peer.client->Post("/api/v2/drns/", signedHeaders("POST", "", system), uploadBody("x"),
                                            ("multipart/form-data; boundary=" + boundary).c_str());
        QCOMPARE(late->status, 401);
        QCOMPARE(peer.service->requests().back().error, std::string("timestamp outside the window"));
        QCOMPARE(peer.upload()->status, 201);
        peer.service->setClockOffset(0);
        QCOMPARE(peer.client->Post("/api/v2/drns/", signedHeaders("POST", "", std::time(nullptr)), uploadBody("x"),
                                   ("multipart/form-data; boundary=" + boundary).c_str())->status, 201);
    }

    void recordsWhatArrived()
    {
        Peer peer(false, "::1");
        QVERIFY2(peer.started, peer.service->lastError().c_str());
        const httplib::Result created = peer.upload(std::string("\r\n--Boundary-\0\r\n", 16));
        QVERIFY2(created, httplib::to_string(created.error()).c_str());
        QCOMPARE(created->status, 201);
        const std::vector<JobRecord> jobs = peer.service->jobs();
        QCOMPARE(jobs.size(), std::size_t(1));
        QCOMPARE(jobs.front().serial, std::string("00:1a:2b:3c:4d:5e"));
        QCOMPARE(jobs.front().ownerJson, std::string(R"({"UploadClient":5,"EmailTo":"print@release.test"})"));
        QVERIFY(!jobs.front().ownerEmail);
        QCOMPARE(peer.poll(jobs.front().docId)->status, 200);

        const std::vector<RequestRecord> requests = peer.service->requests();
        QCOMPARE(requests.size(), std::size_t(2));
        QCOMPARE(requests.at(0).call, Call::CreateJob);
        QCOMPARE(requests.at(0).remoteAddress, std::string("::1"));
        // Recorded as sent, although the service hides it from the library's own parser.
        QCOMPARE(requests.at(0).header("content-type").value_or(""), "multipart/form-data; boundary=" + boundary);
        QCOMPARE(requests.at(1).path, "/api/v2/drns/" + jobs.front().docId);
        QCOMPARE(peer.service->requests(Call::JobStatus).size(), std::size_t(1));
    }

    void stopsPromptly_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<bool>("delaying");
        QTest::newRow("idle keep-alive http") << false << false;
        QTest::newRow("idle keep-alive https") << true << false;
        QTest::newRow("delaying an answer") << false << true;
    }

    void stopsPromptly()
    {
        QFETCH(bool, secure);
        QFETCH(bool, delaying);
        Peer peer(secure);
        QVERIFY(peer.started);
        QCOMPARE(peer.serverTime()->status, 200); // leaves the connection open
        std::thread waiting;
        std::atomic<bool> answered{false};
        if (delaying) {
            peer.service->setFault(Call::ServerTime, Fault::delayed(60s));
            waiting = std::thread([&peer, &answered] { answered = bool(peer.serverTime()); });
            QTRY_COMPARE(peer.service->requestsInProgress(), 1);
        }
        // The library keeps an idle connection for 5 s and the delay is a
        // minute: well under either means stop() cut them short.
        const auto before = std::chrono::steady_clock::now();
        peer.service->stop();
        QVERIFY(std::chrono::steady_clock::now() - before < 2s);
        QVERIFY(!peer.service->isRunning());
        if (waiting.joinable()) {
            waiting.join();
            QVERIFY(!answered);
            QCOMPARE(peer.service->requests().back().error, std::string("service stopped"));
        }
    }
};

QTEST_GUILESS_MAIN(TestServiceFaults)
#include "tst_servicefaults.moc"
