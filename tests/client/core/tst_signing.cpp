#include "client/core/Constants.h"
#include "client/core/Hmac.h"
#include "client/core/RestAPIUtil.h"

#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTest>
#include <openssl/hmac.h>

using namespace tavoren::client;

namespace {
// An independent signer to check against.
QString opensslSignature(const QByteArray &key, const QByteArray &message)
{
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.constData(), int(key.size()), reinterpret_cast<const unsigned char *>(message.constData()),
         size_t(message.size()), mac, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(mac), int(length)).toBase64());
}
} // namespace

class TestSigning : public QObject
{
    Q_OBJECT

private slots:
    void textToSign_data()
    {
        QTest::addColumn<QString>("timestamp");
        QTest::addColumn<QString>("docID");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("expected");

        QTest::newRow("upload") << QStringLiteral("1700000000") << QString() << QStringLiteral("POST")
                                << QStringLiteral("timestamp=1700000000method=postresource=/api/v2/drns/");
        QTest::newRow("status") << QStringLiteral("1700000005") << QStringLiteral("ab12cd") << QStringLiteral("GET")
                                << QStringLiteral("timestamp=1700000005method=getresource=/api/v2/drns/ab12cd");
        QTest::newRow("upper-case id") << QStringLiteral("42") << QStringLiteral("XY7Q-Z") << QStringLiteral("GET")
                                       << QStringLiteral("timestamp=42method=getresource=/api/v2/drns/xy7q-z");
        QTest::newRow("unicode id") << QStringLiteral("1") << QStringLiteral("ÄÖÉ") << QStringLiteral("GET")
                                    << QStringLiteral("timestamp=1method=getresource=/api/v2/drns/äöé");
        QTest::newRow("negative time") << QStringLiteral("-3") << QString() << QStringLiteral("POST")
                                       << QStringLiteral("timestamp=-3method=postresource=/api/v2/drns/");
    }

    void textToSign()
    {
        QFETCH(QString, timestamp);
        QFETCH(QString, docID);
        QFETCH(QString, method);
        QFETCH(QString, expected);
        QCOMPARE(RestAPIUtil::textToSignMethod(timestamp, docID, method), expected);
    }

    void hmacAgreesWithReference_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        // RFC 4231 test case 2, Base64 of 5bdcc146...64ec3843.
        QTest::newRow("rfc4231 case 2") << QByteArray("Jefe") << QStringLiteral("what do ya want for nothing?")
                                        << QString::fromLatin1(QByteArray::fromHex(
                                               "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843")
                                                                   .toBase64());
        QTest::newRow("client key")
            << QByteArray("8Hq%V27%5Lm&Xw3c") << QStringLiteral("timestamp=1700000000method=postresource=/api/v2/drns/")
            << opensslSignature("8Hq%V27%5Lm&Xw3c", "timestamp=1700000000method=postresource=/api/v2/drns/");
        QTest::newRow("text ends at NUL") << QByteArray("k") << QStringLiteral("abc") + QChar(0) + QStringLiteral("def")
                                          << opensslSignature("k", "abc");
        QTest::newRow("utf-8 text") << QByteArray("k") << QStringLiteral("é") << opensslSignature("k", "\xc3\xa9");
    }

    void hmacAgreesWithReference()
    {
        QFETCH(QByteArray, key);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(hmac(text, key), expected);
    }

    void fixedKeySignature()
    {
        const QString text = RestAPIUtil::textToSignMethod(QStringLiteral("1700000000"), QString(), QStringLiteral("POST"));
        const QString signature = hmac(text);
        QCOMPARE(signature, opensslSignature("8Hq%V27%5Lm&Xw3c", text.toUtf8()));
        QCOMPARE(signature.size(), 44);
        QVERIFY(signature.endsWith(QLatin1Char('=')));
        const QString later = hmac(RestAPIUtil::textToSignMethod(QStringLiteral("1700000001"), QString(), QStringLiteral("POST")));
        QVERIFY(later != signature);
    }

    void headersInOrderAndComplete_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::newRow("with serial") << QStringLiteral("00:1a:2b:3c:4d:5e");
        QTest::newRow("empty serial") << QString();
    }

    void headersInOrderAndComplete()
    {
        QFETCH(QString, serial);
        QNetworkRequest request;
        RestAPIUtil::addSignedHeaders(request, QStringLiteral("1234"), QStringLiteral("AbC"), QStringLiteral("GET"), serial);
        const QList<QByteArray> expectedNames = {"Tavoren-signature", "Tavoren-timestamp", "Tavoren-clientid",
                                                 "Tavoren-serial", "Content-Type"};
        QCOMPARE(request.rawHeaderList(), expectedNames);
        QCOMPARE(request.rawHeader("Tavoren-timestamp"), QByteArray("1234"));
        QCOMPARE(request.rawHeader("Tavoren-signature"),
                 opensslSignature("8Hq%V27%5Lm&Xw3c", "timestamp=1234method=getresource=/api/v2/drns/abc").toLatin1());
        QCOMPARE(request.rawHeader("Tavoren-clientid"), QByteArray("6f2b8e41-0c7d-4a93-b5e6-19d4c3a7f802"));
        QCOMPARE(request.rawHeader("Tavoren-serial"), serial.toUtf8());
        QVERIFY(request.hasRawHeader("Tavoren-serial"));
        QCOMPARE(request.rawHeader("Content-Type"), QByteArray("application/json"));
    }

    void boundaryIsFreshUpperCaseUuid()
    {
        static const QRegularExpression shape(QRegularExpression::anchoredPattern(
            QStringLiteral("Boundary-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")));
        const QString first = RestAPIUtil::makeBoundary();
        const QString second = RestAPIUtil::makeBoundary();
        QVERIFY2(shape.match(first).hasMatch(), qPrintable(first));
        QVERIFY(first != second);
    }
};

QTEST_GUILESS_MAIN(TestSigning)
#include "tst_signing.moc"
