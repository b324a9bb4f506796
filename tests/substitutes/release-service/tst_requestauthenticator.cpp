// The service's signature check, against an independent HMAC (Qt's) so a
// mistake in the service's OpenSSL code cannot cancel out.
#include "release-service/RequestAuthenticator.h"

#include <QMessageAuthenticationCode>
#include <QTest>

#include <limits>

using tavoren::releaseservice::RequestAuthenticator;

namespace {
const std::string key = "8Hq%V27%5Lm&Xw3c";
const std::string clientId = "6f2b8e41-0c7d-4a93-b5e6-19d4c3a7f802";
constexpr std::int64_t now = 1'700'000'000;

std::string qtSign(const QString &text, const std::string &withKey = key)
{
    return QMessageAuthenticationCode::hash(text.toUtf8(), QByteArray::fromStdString(withKey), QCryptographicHash::Sha256)
        .toBase64()
        .toStdString();
}

// Headers as a correct client sends them for a job id, with one thing changed.
RequestAuthenticator::Headers headersFor(const QString &method, const QString &docId, const std::string &timestamp)
{
    const QString text = (QStringLiteral("timestamp=") + QString::fromStdString(timestamp) + QStringLiteral("method=")
                          + method + QStringLiteral("resource=/api/v2/drns/") + docId)
                             .toLower();
    return {{qtSign(text)}, {timestamp}, {clientId}, {"00:1a:2b:3c:4d:5e"}};
}
} // namespace

class TestRequestAuthenticator : public QObject
{
    Q_OBJECT

private slots:
    void textToSign()
    {
        QCOMPARE(RequestAuthenticator::textToSign("1700000000", "POST", ""),
                 std::string("timestamp=1700000000method=postresource=/api/v2/drns/"));
        QCOMPARE(RequestAuthenticator::textToSign("1700000000", "GET", "AB12CD34"),
                 std::string("timestamp=1700000000method=getresource=/api/v2/drns/ab12cd34"));
        // Lower-casing is Unicode-aware, not ASCII only.
        QCOMPARE(RequestAuthenticator::textToSign("1", "GET", "ÉTÉ"), std::string("timestamp=1method=getresource=/api/v2/drns/été"));
    }

    void signatureMatchesQt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("post") << QStringLiteral("timestamp=1700000000method=postresource=/api/v2/drns/");
        QTest::newRow("get") << QStringLiteral("timestamp=-5method=getresource=/api/v2/drns/ab12cd34");
        QTest::newRow("empty") << QString();
        QTest::newRow("non-ASCII") << QStringLiteral("timestamp=1method=getresource=/api/v2/drns/été");
    }

    void signatureMatchesQt()
    {
        QFETCH(QString, text);
        const std::string signature = RequestAuthenticator::sign(text.toStdString());
        QCOMPARE(signature, qtSign(text));
        QCOMPARE(signature.size(), std::size_t(44));
    }

    void check_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("docId");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("problem");
        const QString post = QStringLiteral("POST");
        const QString get = QStringLiteral("GET");
        const QString id = QStringLiteral("AB12CD34");
        QTest::newRow("post") << post << QString() << QString() << QString();
        QTest::newRow("get upper-case id") << get << id << QString() << QString();
        QTest::newRow("empty serial") << get << id << "serial=" << QString();
        QTest::newRow("no serial header") << get << id << "noserial" << QString();
        QTest::newRow("window edge behind") << post << QString() << "time=-300" << QString();
        QTest::newRow("window edge ahead") << post << QString() << "time=300" << QString();
        QTest::newRow("just behind window") << post << QString() << "time=-301" << "timestamp outside the window";
        QTest::newRow("just ahead of window") << post << QString() << "time=301" << "timestamp outside the window";
        QTest::newRow("far past") << post << QString() << "timestamp=-9223372036854775808" << "timestamp outside the window";
        QTest::newRow("leading zero") << post << QString() << "timestamp=01700000000" << "timestamp is not a decimal integer";
        QTest::newRow("plus sign") << post << QString() << "timestamp=+1700000000" << "timestamp is not a decimal integer";
        QTest::newRow("fraction") << post << QString() << "timestamp=1700000000.0" << "timestamp is not a decimal integer";
        QTest::newRow("space") << post << QString() << "timestamp= 1700000000" << "timestamp is not a decimal integer";
        QTest::newRow("too large") << post << QString() << "timestamp=99999999999999999999" << "timestamp is not a decimal integer";
        QTest::newRow("wrong key") << post << QString() << "key" << "signature mismatch";
        QTest::newRow("signed for another method") << get << QString() << "signedas=POST" << "signature mismatch";
        QTest::newRow("id signed as sent, not lower-cased") << get << id << "nolower" << "signature mismatch";
        QTest::newRow("upper-case client id") << post << QString() << "client=6F2B8E41-0C7D-4A93-B5E6-19D4C3A7F802" << "unknown client id";
        QTest::newRow("no signature") << post << QString() << "nosignature" << "missing Tavoren-signature";
        QTest::newRow("two timestamps") << post << QString() << "twotimestamps" << "repeated Tavoren-timestamp";
    }

    void check()
    {
        QFETCH(QString, method);
        QFETCH(QString, docId);
        QFETCH(QString, change);
        QFETCH(QString, problem);
        const auto value = [&change](const char *prefix) { return change.mid(int(qstrlen(prefix))).toStdString(); };
        std::string timestamp = std::to_string(now);
        if (change.startsWith(QLatin1String("time=")))
            timestamp = std::to_string(now + std::stoll(value("time=")));
        if (change.startsWith(QLatin1String("timestamp=")))
            timestamp = value("timestamp=");
        RequestAuthenticator::Headers headers = headersFor(method, docId, timestamp);
        const auto signedText = [&](const QString &m, const QString &d) -> QString {
            return QStringLiteral("timestamp=") + QString::fromStdString(timestamp) + QStringLiteral("method=") + m.toLower()
                + QStringLiteral("resource=/api/v2/drns/") + d;
        };
        if (change == QLatin1String("key"))
            headers.signature = {qtSign(signedText(method, docId).toLower(), "8Hq%V27%5Lm&Xw3C")};
        if (change.startsWith(QLatin1String("signedas=")))
            headers.signature = {qtSign(signedText(QString::fromStdString(value("signedas=")), docId))};
        if (change == QLatin1String("nolower"))
            headers.signature = {qtSign(signedText(method, docId))};
        if (change.startsWith(QLatin1String("client=")))
            headers.clientId = {value("client=")};
        if (change.startsWith(QLatin1String("serial=")))
            headers.serial = {value("serial=")};
        if (change == QLatin1String("noserial"))
            headers.serial.clear();
        if (change == QLatin1String("nosignature"))
            headers.signature.clear();
        if (change == QLatin1String("twotimestamps"))
            headers.timestamp.push_back(timestamp);

        const RequestAuthenticator authenticator(300);
        QCOMPARE(authenticator.check(headers, method.toStdString(), docId.toStdString(), now), problem.toStdString());
    }
};

QTEST_GUILESS_MAIN(TestRequestAuthenticator)
#include "tst_requestauthenticator.moc"
