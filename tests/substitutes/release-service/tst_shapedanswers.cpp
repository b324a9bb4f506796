// The shapes of an answer (trickled, chunked, padded, compressed, a
// compression bomb): their text form, their bytes, and what a client sees of
// them over loopback HTTP and HTTPS, also when it leaves or the service stops.
#include "release-service/AnswerStream.h"
#include "release-service/ReleaseService.h"

#include "support/TestRoot.h"

#include <httplib.h>
#include <zlib.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <csignal>
#include <cstring>
#include <ctime>
#include <future>

using namespace tavoren::releaseservice;
using namespace std::chrono_literals;
using tavoren::testsupport::TestRoot;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

// Decompresses a gzip stream piece by piece, verifying its trailer.
class Gunzip
{
public:
    Gunzip() { m_ready = inflateInit2(&m_zlib, 15 + 16) == Z_OK; }
    ~Gunzip() { inflateEnd(&m_zlib); }
    Gunzip(const Gunzip &) = delete;
    Gunzip &operator=(const Gunzip &) = delete;

    bool feed(const char *data, std::size_t length, const std::function<void(const char *, std::size_t)> &out)
    {
        m_zlib.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        m_zlib.avail_in = uInt(length);
        while (m_ready && !m_ended && m_zlib.avail_in > 0) {
            char buffer[64 * 1024];
            m_zlib.next_out = reinterpret_cast<Bytef *>(buffer);
            m_zlib.avail_out = sizeof buffer;
            const int result = inflate(&m_zlib, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END)
                return m_ready = false;
            out(buffer, sizeof buffer - m_zlib.avail_out);
            m_ended = result == Z_STREAM_END;
        }
        return m_ready && m_zlib.avail_in == 0;
    }
    bool ended() const { return m_ended; }

private:
    z_stream m_zlib{};
    bool m_ready = false;
    bool m_ended = false;
};

// What a padded answer is made of: the text up to the padding, how many
// bytes follow it that are not spaces, the last byte and the length.
struct Decoded
{
    std::string head;
    bool inPadding = false;
    std::uint64_t length = 0;
    std::uint64_t notSpaces = 0;
    char last = 0;

    void add(const char *data, std::size_t size)
    {
        static const std::string spaces(64 * 1024, ' ');
        if (size == 0)
            return;
        length += size;
        last = data[size - 1];
        if (inPadding && size <= spaces.size() && std::memcmp(data, spaces.data(), size) == 0)
            return;
        for (std::size_t i = 0; i < size; ++i) {
            if (!inPadding && data[i] != ' ')
                head += data[i];
            else if (data[i] != ' ')
                ++notSpaces;
            else
                inPadding = true;
        }
    }
    // The answer without its padding.
    std::string text() const { return inPadding ? head + last : head; }
};

QJsonObject jsonObject(const std::string &text)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

// The service's clock read while the request ran: between the moments
// before it was sent and after the answer ended, however long that took.
bool isServerTimeBetween(const std::string &text, std::time_t before, std::time_t after)
{
    const qint64 time = jsonObject(text).value(QLatin1String("ServerTime")).toInteger();
    return time >= qint64(before) && time <= qint64(after);
}

struct Service
{
    explicit Service(bool secure)
    {
        ReleaseService::Options options;
        options.storageDir = root.makeDir(QStringLiteral("/service")).toStdString();
        if (secure) {
            options.certificateFile = TAVOREN_TEST_DATA_DIR "/certs/server.pem";
            options.keyFile = TAVOREN_TEST_DATA_DIR "/certs/server.key";
        }
        service = std::make_unique<ReleaseService>(options);
        started = service->start();
    }

    std::unique_ptr<httplib::Client> client() const
    {
        auto client = std::make_unique<httplib::Client>(service->baseUrl());
        client->set_ca_cert_path(TAVOREN_TEST_DATA_DIR "/certs/ca.pem");
        client->enable_server_certificate_verification(true);
        // The raw bytes: the test decompresses itself.
        client->set_decompress(false);
        return client;
    }

    TestRoot root;
    std::unique_ptr<ReleaseService> service;
    bool started = false;
};

// Offers every encoding, so that only the fault can be what compresses.
const httplib::Headers acceptAll{{"Accept-Encoding", "gzip, deflate, br"}};

} // namespace

class TestShapedAnswers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A client that leaves must fail the service's write, not end the test.
        std::signal(SIGPIPE, SIG_IGN);
    }

    void textForm_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::addColumn<int>("trickleMs");
        QTest::addColumn<bool>("chunked");
        QTest::addColumn<qint64>("padded"); // -1: none
        QTest::addColumn<bool>("gzip");
        QTest::newRow("trickle") << "trickle=40" << QString() << 40 << false << qint64(-1) << false;
        QTest::newRow("chunked as it is") << "chunked" << QString() << 0 << true << qint64(-1) << false;
        QTest::newRow("chunked and padded") << "chunked=1000" << QString() << 0 << true << qint64(1000) << false;
        QTest::newRow("chunked in MiB") << "chunked=200MiB" << QString() << 0 << true << qint64(200 * MiB) << false;
        QTest::newRow("gzip") << "gzip" << QString() << 0 << false << qint64(-1) << true;
        QTest::newRow("bomb") << "inflate=1GiB" << QString() << 0 << false << qint64(1024 * MiB) << true;
        QTest::newRow("bomb chunked, trickled, once")
            << "from=2,inflate=3KiB,chunked,trickle=5,times=1" << QString() << 5 << true << qint64(3072) << true;
        QTest::newRow("with an edit") << "gzip,set=DocID:\"../etc\"" << QString() << 0 << false << qint64(-1) << true;
        QTest::newRow("largest") << "chunked=1099511627776" << QString() << 0 << true << qint64(1099511627776) << false;
        QTest::newRow("trickle of 0") << "trickle=0" << "bad trickle interval: 0" << 0 << false << qint64(-1) << false;
        QTest::newRow("trickle without interval") << "trickle" << "unknown fault item: trickle" << 0 << false << qint64(-1) << false;
        QTest::newRow("gzip with a value") << "gzip=9" << "unknown fault item: gzip=9" << 0 << false << qint64(-1) << false;
        QTest::newRow("unknown unit") << "chunked=2MB" << "bad length: 2MB" << 0 << false << qint64(-1) << false;
        QTest::newRow("unit alone") << "chunked=MiB" << "bad length: MiB" << 0 << false << qint64(-1) << false;
        QTest::newRow("over 1 TiB") << "chunked=1025GiB" << "bad length: 1025GiB" << 0 << false << qint64(-1) << false;
        QTest::newRow("empty bomb") << "inflate=0" << "bad length: 0" << 0 << false << qint64(-1) << false;
        QTest::newRow("bomb without length") << "inflate" << "unknown fault item: inflate" << 0 << false << qint64(-1) << false;
        QTest::newRow("two lengths") << "inflate=1MiB,chunked=2MiB"
                                     << "a fault takes one length, chunked=BYTES or inflate=BYTES: chunked=2MiB" << 0 << false
                                     << qint64(-1) << false;
    }

    void textForm()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        const auto fault = Fault::parse(text.toStdString());
        QCOMPARE(fault ? QString() : QString::fromStdString(fault.error().text), error);
        QCOMPARE(fault.hasValue(), error.isEmpty());
        if (!fault)
            return;
        QFETCH(int, trickleMs);
        QFETCH(bool, chunked);
        QFETCH(qint64, padded);
        QFETCH(bool, gzip);
        QVERIFY(fault->shapesAnswer());
        QVERIFY(!fault->replacesAnswer());
        QCOMPARE(fault->trickle, std::chrono::milliseconds(trickleMs));
        QCOMPARE(fault->chunkedTransfer, chunked);
        QCOMPARE(fault->paddedLength, padded < 0 ? std::nullopt : std::optional<std::uint64_t>(padded));
        QCOMPARE(fault->gzip, gzip);
        if (text.contains(QLatin1String("from=2")))
            QVERIFY(fault->fromRequest == 2 && fault->times == 1u);
        if (text.contains(QLatin1String("set=")))
            QVERIFY((fault->setMembers == std::vector<std::pair<std::string, std::string>>{{"DocID", "\"../etc\""}}));
    }

    void bytes_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("padded"); // -1: none
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("as it is") << QByteArray("{\"a\":1}") << qint64(-1) << QByteArray("{\"a\":1}");
        QTest::newRow("object padded inside") << QByteArray("{\"a\":1}") << qint64(10) << QByteArray("{\"a\":1   }");
        QTest::newRow("array padded inside") << QByteArray("[1]") << qint64(6) << QByteArray("[1   ]");
        QTest::newRow("other text padded after") << QByteArray("<html>") << qint64(8) << QByteArray("<html>  ");
        QTest::newRow("cut") << QByteArray("{\"a\":1}") << qint64(3) << QByteArray("{\"a");
        QTest::newRow("exact") << QByteArray("[1]") << qint64(3) << QByteArray("[1]");
        QTest::newRow("several pieces") << QByteArray("{}") << qint64(200000) << ("{" + QByteArray(199998, ' ') + "}");
    }

    void bytes()
    {
        QFETCH(QByteArray, text);
        QFETCH(qint64, padded);
        QFETCH(QByteArray, expected);
        const std::optional<std::uint64_t> length = padded < 0 ? std::nullopt : std::optional<std::uint64_t>(padded);
        for (const bool gzip : {false, true}) {
            for (const std::size_t limit : {std::size_t(1), std::size_t(1) << 20}) {
                AnswerStream stream(text.toStdString(), length, gzip);
                std::string sent;
                while (true) {
                    const std::string_view piece = stream.next(limit);
                    QVERIFY(piece.size() <= limit);
                    if (piece.empty())
                        break;
                    sent += piece;
                }
                QVERIFY(!stream.failed());
                QCOMPARE(AnswerStream::length(text.toStdString(), length, gzip, [] { return true; }),
                         std::optional<std::uint64_t>(sent.size()));
                std::string plain = sent;
                if (gzip) {
                    Gunzip gunzip;
                    plain.clear();
                    QVERIFY(gunzip.feed(sent.data(), sent.size(), [&plain](const char *d, std::size_t n) { plain.append(d, n); }));
                    QVERIFY(gunzip.ended());
                }
                QCOMPARE(QByteArray::fromStdString(plain), expected);
            }
        }
        QCOMPARE(AnswerStream::length(text.toStdString(), length, true, [] { return false; }), std::nullopt);
    }

    void onTheWire_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("chunked");
        QTest::addColumn<bool>("gzip");
        QTest::addColumn<qint64>("length");   // decoded; 0: the answer's own
        QTest::addColumn<qint64>("maxSent");  // bytes on the wire at most; 0: not bounded
        QTest::addColumn<QString>("expected"); // the answer without padding; empty: the server time
        for (const bool secure : {false, true}) {
            const auto row = [secure](const char *name) {
                return &QTest::newRow(qPrintable(QString::fromLatin1(name) + (secure ? QStringLiteral(" https") : QStringLiteral(" http"))));
            };
            *row("gzip") << secure << "gzip" << 200 << false << true << qint64(0) << qint64(0) << QString();
            *row("chunked 5 MiB") << secure << "chunked=5MiB" << 200 << true << false << qint64(5 * MiB) << qint64(0) << QString();
            *row("chunked 5 MiB gzip") << secure << "chunked=5MiB,gzip" << 200 << true << true << qint64(5 * MiB)
                                       << qint64(5 * MiB / 500) << QString();
            *row("bomb chunked") << secure << "inflate=64MiB,chunked" << 200 << true << true << qint64(64 * MiB)
                                 << qint64(64 * MiB / 500) << QString();
        }
        QTest::newRow("chunked 200 MiB http") << false << "chunked=200MiB" << 200 << true << false << qint64(200 * MiB)
                                              << qint64(0) << QString();
        QTest::newRow("bomb with a length http") << false << "inflate=128MiB" << 200 << false << true << qint64(128 * MiB)
                                                 << qint64(128 * MiB / 500) << QString();
        QTest::newRow("fault body chunked and padded http") << false << "http=503,chunked=1000,body=[1,2]" << 503 << true
                                                            << false << qint64(1000) << qint64(0) << "[1,2]";
    }

    void onTheWire()
    {
        QFETCH(bool, secure);
        QFETCH(QString, fault);
        QFETCH(int, status);
        QFETCH(bool, chunked);
        QFETCH(bool, gzip);
        QFETCH(qint64, length);
        QFETCH(qint64, maxSent);
        QFETCH(QString, expected);
        Service s(secure);
        QVERIFY2(s.started, s.service->lastError().c_str());
        s.service->setFault(Call::ServerTime, Fault::parse(fault.toStdString()).value());

        Gunzip gunzip;
        Decoded decoded;
        std::uint64_t sent = 0;
        bool readable = true;
        const std::time_t sentAt = std::time(nullptr);
        const auto result = s.client()->Get("/api/v2/servertime", acceptAll, [&](const char *data, std::size_t size) {
            sent += size;
            if (gzip)
                readable = gunzip.feed(data, size, [&decoded](const char *d, std::size_t n) { decoded.add(d, n); }) && readable;
            else
                decoded.add(data, size);
            return true;
        });
        QVERIFY2(result, httplib::to_string(result.error()).c_str());
        QCOMPARE(result->status, status);
        QCOMPARE(result->get_header_value("Transfer-Encoding"), std::string(chunked ? "chunked" : ""));
        QCOMPARE(result->get_header_value("Content-Length"), chunked ? std::string() : std::to_string(sent));
        QCOMPARE(result->get_header_value("Content-Encoding"), std::string(gzip ? "gzip" : ""));
        QVERIFY(readable);
        QVERIFY(!gzip || gunzip.ended());
        if (maxSent > 0)
            QVERIFY2(sent <= std::uint64_t(maxSent), qPrintable(QString::number(sent)));
        if (length > 0) {
            QCOMPARE(decoded.length, std::uint64_t(length));
            QVERIFY(decoded.inPadding);
            QCOMPARE(decoded.notSpaces, std::uint64_t(1)); // the closing bracket
        }
        if (expected.isEmpty())
            QVERIFY2(isServerTimeBetween(decoded.text(), sentAt, std::time(nullptr)), decoded.text().c_str());
        else
            QCOMPARE(QString::fromStdString(decoded.text()), expected);
    }

    // The whole answer takes longer than the client's read time-out, yet each
    // byte comes well within it.
    void trickleOutlastsTheReadTimeout_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QString>("fault");
        QTest::newRow("with a length http") << false << "trickle=100";
        QTest::newRow("chunked https") << true << "trickle=100,chunked";
        QTest::newRow("gzip http") << false << "trickle=100,gzip";
    }

    void trickleOutlastsTheReadTimeout()
    {
        QFETCH(bool, secure);
        QFETCH(QString, fault);
        Service s(secure);
        QVERIFY2(s.started, s.service->lastError().c_str());
        s.service->setFault(Call::ServerTime, Fault::parse(fault.toStdString()).value());
        const auto client = s.client();
        // Wide of the trickle's pace, so a loaded machine cannot make one byte late.
        client->set_read_timeout(1500ms);

        std::string sent;
        int pieces = 0;
        const auto before = std::chrono::steady_clock::now();
        const std::time_t sentAt = std::time(nullptr);
        const auto result = client->Get("/api/v2/servertime", acceptAll, [&](const char *data, std::size_t size) {
            sent.append(data, size);
            ++pieces;
            return true;
        });
        const auto took = std::chrono::steady_clock::now() - before;
        QVERIFY2(result, httplib::to_string(result.error()).c_str());
        QCOMPARE(result->status, 200);
        // One byte every 100 ms after the first.
        QVERIFY(took >= (sent.size() - 1) * 100ms);
        QVERIFY(took > 1500ms);
        QVERIFY(pieces > 1);
        std::string text = sent;
        if (result->get_header_value("Content-Encoding") == "gzip") {
            Gunzip gunzip;
            text.clear();
            QVERIFY(gunzip.feed(sent.data(), sent.size(), [&text](const char *d, std::size_t n) { text.append(d, n); }));
        }
        QVERIFY2(isServerTimeBetween(text, sentAt, std::time(nullptr)), text.c_str());
    }

    // A client that goes away ends the answer, however long it would be.
    void endsWhenTheClientLeaves_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QString>("fault");
        QTest::newRow("chunked http") << false << "chunked=1024GiB";
        QTest::newRow("bomb https") << true << "inflate=1024GiB,chunked";
        QTest::newRow("trickled http") << false << "trickle=20,chunked=1024GiB";
    }

    void endsWhenTheClientLeaves()
    {
        QFETCH(bool, secure);
        QFETCH(QString, fault);
        Service s(secure);
        QVERIFY2(s.started, s.service->lastError().c_str());
        s.service->setFault(Call::ServerTime, Fault::parse(fault.toStdString()).value());
        const auto result = s.client()->Get("/api/v2/servertime", [](const char *, std::size_t) { return false; });
        QVERIFY(!result);
        QCOMPARE(result.error(), httplib::Error::Canceled);
        QTRY_COMPARE(s.service->requestsInProgress(), 0);
        QCOMPARE(s.service->requests().size(), std::size_t(1));
    }

    void stopsWhileAnswering_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("bodyBegun"); // false: stopped while it finds the length
        QTest::newRow("chunked 200 MiB http") << false << "chunked=200MiB" << true;
        QTest::newRow("chunked 200 MiB https") << true << "chunked=200MiB" << true;
        QTest::newRow("trickled http") << false << "trickle=50,chunked=200MiB" << true;
        QTest::newRow("bomb with a length http") << false << "inflate=1024GiB" << false;
    }

    void stopsWhileAnswering()
    {
        QFETCH(bool, secure);
        QFETCH(QString, fault);
        QFETCH(bool, bodyBegun);
        Service s(secure);
        QVERIFY2(s.started, s.service->lastError().c_str());
        s.service->setFault(Call::ServerTime, Fault::parse(fault.toStdString()).value());

        // The client takes the first piece, then reads no more until the
        // service has stopped, so the service is in the middle of sending.
        std::promise<void> begun;
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<std::uint64_t> received{0};
        std::optional<httplib::Result> result;
        std::thread reader([&, client = s.client()] {
            result = client->Get("/api/v2/servertime", [&](const char *, std::size_t size) {
                if (received.fetch_add(size) == 0)
                    begun.set_value();
                released.wait();
                return true;
            });
        });
        if (bodyBegun) {
            QVERIFY(begun.get_future().wait_for(10s) == std::future_status::ready);
        } else {
            QTRY_COMPARE(s.service->requestsInProgress(), 1);
        }
        // Stopping must not wait for the answer to end (minutes or hours);
        // the client is still held, so a stop that waited would never return.
        s.service->stop();
        release.set_value();
        reader.join();
        QVERIFY(!s.service->isRunning());
        QCOMPARE(s.service->requestsInProgress(), 0);
        QVERIFY(result && !*result);
        QVERIFY(received < 200 * MiB);
        const RequestRecord record = s.service->requests().back();
        QCOMPARE(record.status, bodyBegun ? 200 : 0);
        QCOMPARE(record.error, std::string(bodyBegun ? "" : "service stopped"));
    }
};

QTEST_GUILESS_MAIN(TestShapedAnswers)
#include "tst_shapedanswers.moc"
