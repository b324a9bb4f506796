// The substitute service as a peer: what it accepts and refuses on the wire,
// its status sequence and its faults, checked with a plain HTTP client.
#include "release-service/ReleaseService.h"

#include "support/TestRoot.h"

#include <httplib.h>
#include <openssl/hmac.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <ctime>

using namespace tavoren::releaseservice;
using namespace std::chrono_literals;
using tavoren::testsupport::TestRoot;

namespace {
const std::string boundary = "Boundary-6E1C2B0A-90F4-4C0E-8B51-3D2A9C7E1F00";

std::string sign(const std::string &text, const std::string &key = "8Hq%V27%5Lm&Xw3c")
{
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), int(key.size()), reinterpret_cast<const unsigned char *>(text.data()), text.size(),
         mac, &length);
    return QByteArray(reinterpret_cast<const char *>(mac), int(length)).toBase64().toStdString();
}

std::string lower(std::string text)
{
    for (char &c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

httplib::Headers signedHeaders(const std::string &method, const std::string &docId, std::int64_t offset = 0,
                               const std::string &key = "8Hq%V27%5Lm&Xw3c",
                               const std::string &client = "6f2b8e41-0c7d-4a93-b5e6-19d4c3a7f802")
{
    const std::string t = std::to_string(std::time(nullptr) + offset);
    return {{"Tavoren-signature", sign(lower("timestamp=" + t + "method=" + method + "resource=/api/v2/drns/" + docId), key)},
            {"Tavoren-timestamp", t},
            {"Tavoren-clientid", client},
            {"Tavoren-serial", "00:1a:2b:3c:4d:5e"}};
}

std::string body(const std::string &file, const std::string &name = "Report.pdf",
                 const std::string &owner = R"({"EmailTo":"print@service.test","UploadClient":5})")
{
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"Owner\"\r\nContent-Type: application/json\r\n\r\n"
        + owner + "\r\n--" + boundary
        + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"Untitled.pdf\"\r\nContent-Description: " + name
        + "\r\nContent-Type: application/pdf\r\n\r\n" + file + "\r\n--" + boundary + "--\r\n";
}

struct Service
{
    explicit Service(ReleaseService::Options options = {})
    {
        options.storageDir = dir.path().toStdString();
        service = std::make_unique<ReleaseService>(options);
        started = service->start();
    }
    httplib::Result upload(const std::string &content, const httplib::Headers &headers)
    {
        httplib::Client client("127.0.0.1", service->port());
        return client.Post("/api/v2/drns/", headers, content, ("multipart/form-data; boundary=" + boundary).c_str());
    }
    httplib::Result poll(const std::string &docId, const httplib::Headers &headers)
    {
        httplib::Client client("127.0.0.1", service->port());
        return client.Get(("/api/v2/drns/" + docId).c_str(), headers);
    }
    QTemporaryDir dir;
    std::unique_ptr<ReleaseService> service;
    bool started = false;
};

std::string docIdOf(const httplib::Result &result)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object().value(QStringLiteral("DocID")).toString().toStdString();
}
} // namespace

class TestReleaseService : public QObject
{
    Q_OBJECT

private slots:
    void authentication_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("status");
        QTest::newRow("valid") << "" << 201;
        QTest::newRow("wrong key") << "key" << 401;
        QTest::newRow("wrong client id") << "client" << 401;
        QTest::newRow("timestamp too old") << "old" << 401;
        QTest::newRow("timestamp ahead within window") << "ahead" << 201;
        QTest::newRow("timestamp not a number") << "nan" << 401;
        QTest::newRow("no signature") << "nosignature" << 401;
    }

    void authentication()
    {
        QFETCH(QString, change);
        QFETCH(int, status);
        Service s;
        QVERIFY(s.started);
        httplib::Headers headers = signedHeaders("POST", "", change == QLatin1String("old") ? -301 : change == QLatin1String("ahead") ? 250 : 0,
                                                 change == QLatin1String("key") ? "not the key" : "8Hq%V27%5Lm&Xw3c",
                                                 change == QLatin1String("client") ? "6f2b8e41-0c7d-4a93-b5e6-19d4c3a7f803"
                                                                                   : "6f2b8e41-0c7d-4a93-b5e6-19d4c3a7f802");
        if (change == QLatin1String("nan")) {
            headers.erase("Tavoren-timestamp");
            headers.emplace("Tavoren-timestamp", "12abc");
        }
        if (change == QLatin1String("nosignature"))
            headers.erase("Tavoren-signature");
        const auto result = s.upload(body("%PDF"), headers);
        QVERIFY(result);
        QCOMPARE(result->status, status);
        QCOMPARE(s.service->jobs().size(), size_t(status == 201 ? 1 : 0));
    }

    void storesFilesByteForByte_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("binary with CR LF") << QByteArray("\r\n\0\xff\r\n\r\n", 8);
        QTest::newRow("boundary look-alikes") << QByteArray::fromStdString("x--" + boundary + "--\r\n--Boundary-0\r\n");
        QTest::newRow("1 MiB") << QByteArray(1024 * 1024, 'z');
    }

    void storesFilesByteForByte()
    {
        QFETCH(QByteArray, content);
        Service s;
        QVERIFY(s.started);
        const auto result = s.upload(body(content.toStdString(), "Été.pdf"), signedHeaders("POST", ""));
        QVERIFY(result);
        QCOMPARE(result->status, 201);
        const auto jobs = s.service->jobs();
        QCOMPARE(jobs.size(), size_t(1));
        QCOMPARE(jobs.front().docId, docIdOf(result));
        QCOMPARE(jobs.front().contentDescription, std::string("Été.pdf"));
        QCOMPARE(jobs.front().serial, std::string("00:1a:2b:3c:4d:5e"));
        QFile stored(QString::fromStdString(jobs.front().storedFile));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY(stored.readAll() == content);
    }

    void refusesOtherLayouts_data()
    {
        QTest::addColumn<QByteArray>("content");
        const std::string good = body("%PDF");
        QTest::newRow("no closing boundary") << QByteArray::fromStdString(good.substr(0, good.size() - 4));
        QTest::newRow("other file name") << QByteArray::fromStdString(std::string(good).replace(good.find("Untitled.pdf"), 12, "Report.pdf.."));
        QTest::newRow("owner not JSON") << QByteArray::fromStdString(body("%PDF", "a", "not json"));
        QTest::newRow("owner without UploadClient") << QByteArray::fromStdString(body("%PDF", "a", R"({"EmailTo":"x"})"));
        QTest::newRow("no description") << QByteArray::fromStdString(std::string(good).replace(good.find("Content-Description"), 11, "Content-Xxx"));
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("delimiter inside the file") << QByteArray::fromStdString(body("a\r\n--" + boundary + "\r\nb"));
    }

    void refusesOtherLayouts()
    {
        QFETCH(QByteArray, content);
        Service s;
        QVERIFY(s.started);
        const auto result = s.upload(content.toStdString(), signedHeaders("POST", ""));
        QVERIFY(result);
        QCOMPARE(result->status, 400);
        QVERIFY(s.service->jobs().empty());
    }

    void statusSequenceAndUpperCaseIds()
    {
        ReleaseService::Options options;
        options.statusSequence = {1, 2, 4};
        Service s(options);
        QVERIFY(s.started);
        const std::string docId = docIdOf(s.upload(body("%PDF"), signedHeaders("POST", "")));
        QVERIFY(!docId.empty());
        QCOMPARE(docId, QString::fromStdString(docId).toUpper().toStdString());
        QList<int> seen;
        for (int i = 0; i < 5; ++i) {
            const auto result = s.poll(docId, signedHeaders("GET", docId));
            QVERIFY(result);
            QCOMPARE(result->status, 200);
            seen.append(QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object().value(QStringLiteral("Status")).toInt());
        }
        QCOMPARE(seen, (QList<int>{1, 2, 4, 4, 4}));
        QCOMPARE(s.poll("NOSUCHJOB", signedHeaders("GET", "NOSUCHJOB"))->status, 404);
        // A signature over the id as sent, not lower-cased, is refused.
        httplib::Headers wrong = signedHeaders("GET", docId);
        const std::string t = wrong.find("Tavoren-timestamp")->second;
        wrong.erase("Tavoren-signature");
        wrong.emplace("Tavoren-signature", sign("timestamp=" + t + "method=getresource=/api/v2/drns/" + docId));
        QCOMPARE(s.poll(docId, wrong)->status, 401);
    }

    void faults()
    {
        Service s;
        QVERIFY(s.started);
        httplib::Client client("127.0.0.1", s.service->port());
        // 429 from the second request on, once.
        s.service->setFault(Call::ServerTime, Fault::withStatus(429).from(2).only(1));
        QList<int> statuses;
        for (int i = 0; i < 3; ++i)
            statuses.append(client.Get("/api/v2/servertime")->status);
        QCOMPARE(statuses, (QList<int>{200, 429, 200}));

        s.service->setFault(Call::ServerTime, Fault::withMember("ServerTime", "\"soon\""));
        QCOMPARE(client.Get("/api/v2/servertime")->body, std::string(R"({"ServerTime":"soon"})"));
        s.service->setFault(Call::ServerTime, Fault::without("ServerTime"));
        QCOMPARE(client.Get("/api/v2/servertime")->body, std::string("{}"));

        s.service->setFault(Call::ServerTime, Fault::dropped());
        const auto dropped = client.Get("/api/v2/servertime");
        QVERIFY(!dropped);

        s.service->setFault(Call::ServerTime, Fault::delayed(300ms));
        const auto before = std::chrono::steady_clock::now();
        QCOMPARE(client.Get("/api/v2/servertime")->status, 200);
        QVERIFY(std::chrono::steady_clock::now() - before >= 300ms);

        s.service->clearFaults();
        QCOMPARE(client.Get("/api/v2/servertime")->status, 200);
        const auto records = s.service->requests();
        QCOMPARE(records.size(), size_t(8));
        QCOMPARE(records.at(5).status, 0); // the dropped one
        QVERIFY(records.at(1).faulted);
    }

    void faultParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("status") << "http=503" << true;
        QTest::newRow("combined") << "http=429,from=5,times=1" << true;
        QTest::newRow("body takes the rest") << "body={\"a\":1,\"b\":2}" << true;
        QTest::newRow("unknown item") << "teapot" << false;
        QTest::newRow("bad number") << "http=abc" << false;
    }

    void faultParsing()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(Fault::parse(text.toStdString()).hasValue(), valid);
    }

    void listensOnIpv6()
    {
        QTemporaryDir dir;
        ReleaseService::Options options;
        options.address = "::1";
        options.storageDir = dir.path().toStdString();
        ReleaseService service(options);
        QVERIFY(service.start());
        httplib::Client client("::1", service.port());
        const auto result = client.Get("/api/v2/servertime");
        QVERIFY2(result, httplib::to_string(result.error()).c_str());
        QCOMPARE(result->status, 200);
    }

    void httpsAndPromptStop()
    {
        QTemporaryDir dir;
        ReleaseService::Options options;
        options.storageDir = dir.path().toStdString();
        options.certificateFile = TAVOREN_TEST_DATA_DIR "/certs/server.pem";
        options.keyFile = TAVOREN_TEST_DATA_DIR "/certs/server.key";
        ReleaseService service(options);
        QVERIFY(service.start());
        QVERIFY(service.isHttps());
        httplib::SSLClient client("127.0.0.1", service.port());
        client.set_ca_cert_path(TAVOREN_TEST_DATA_DIR "/certs/ca.pem");
        client.enable_server_certificate_verification(true);
        const auto result = client.Get("/api/v2/servertime");
        QVERIFY2(result, httplib::to_string(result.error()).c_str());
        QCOMPARE(result->status, 200);
        // A held-back answer does not hold up stopping.
        service.setFault(Call::ServerTime, Fault::delayed(20s));
        std::thread waiting([&client] { (void)client.Get("/api/v2/servertime"); });
        QTRY_COMPARE(service.requestsInProgress(), 1);
        const auto before = std::chrono::steady_clock::now();
        service.stop();
        QVERIFY(std::chrono::steady_clock::now() - before < 5s);
        waiting.join();
    }

    // A certificate of the trusted authority that a client must refuse on
    // 127.0.0.1: the address is its common name, but not among its names.
    void certificateNamingElsewhere_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("curlExit"); // 60: the peer's certificate refused
        QTest::newRow("usual, on 127.0.0.1") << "server" << "127.0.0.1" << 0;
        QTest::newRow("names elsewhere, on 127.0.0.1") << "san-mismatch-server" << "127.0.0.1" << 60;
        QTest::newRow("names elsewhere, reached by that name") << "san-mismatch-server" << "elsewhere.test" << 0;
    }

    void certificateNamingElsewhere()
    {
        QFETCH(QString, certificate);
        QFETCH(QString, host);
        QFETCH(int, curlExit);
        const std::string certs = TAVOREN_TEST_DATA_DIR "/certs/";
        const std::string pem = certs + certificate.toStdString() + ".pem";
        if (certificate == QLatin1String("san-mismatch-server")) {
            std::FILE *file = std::fopen(pem.c_str(), "re");
            QVERIFY(file);
            X509 *x509 = PEM_read_X509(file, nullptr, nullptr, nullptr);
            std::fclose(file);
            QVERIFY(x509);
            char commonName[64] = {};
            X509_NAME_get_text_by_NID(X509_get_subject_name(x509), NID_commonName, commonName, sizeof commonName);
            const bool addressListed = X509_check_ip_asc(x509, "127.0.0.1", 0) == 1;
            const bool elsewhereListed = X509_check_host(x509, "elsewhere.test", 0, 0, nullptr) == 1;
            X509_free(x509);
            QCOMPARE(QByteArray(commonName), QByteArray("127.0.0.1"));
            QVERIFY(!addressListed);
            QVERIFY(elsewhereListed);
        }

        TestRoot root;
        ReleaseService::Options options;
        options.storageDir = root.makeDir(QStringLiteral("/service")).toStdString();
        options.certificateFile = pem;
        options.keyFile = certs + certificate.toStdString() + ".key";
        ReleaseService service(options);
        QVERIFY2(service.start(), service.lastError().c_str());
        const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
        QVERIFY2(!curl.isEmpty(), "curl is needed (scripts/setup.sh installs it)");
        const QString port = QString::number(service.port());
        QProcess client;
        // The name is pinned to loopback, never looked up.
        client.start(curl, {QStringLiteral("-sS"), QStringLiteral("--noproxy"), QStringLiteral("*"), QStringLiteral("--max-time"),
                            QStringLiteral("60"), QStringLiteral("--cacert"), QString::fromStdString(certs + "ca.pem"),
                            QStringLiteral("--resolve"), QStringLiteral("elsewhere.test:") + port + QStringLiteral(":127.0.0.1"),
                            QStringLiteral("https://") + host + QLatin1Char(':') + port + QStringLiteral("/api/v2/servertime")});
        QVERIFY(client.waitForFinished(90000));
        QCOMPARE(client.exitCode(), curlExit);
        QCOMPARE(service.requests().size(), std::size_t(curlExit == 0 ? 1 : 0));
    }
};

QTEST_GUILESS_MAIN(TestReleaseService)
#include "tst_releaseservice.moc"
