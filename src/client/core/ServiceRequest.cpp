#include "client/core/ServiceRequest.h"

#include <QHostAddress>
#include <QMetaEnum>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <zlib.h>

namespace tavoren::client {

namespace {
// What Qt keeps of an answer before we read it: the limit holds while the
// answer arrives, not once it is all in memory.
constexpr qint64 readBufferBytes = 64 * 1024;

QString transportDescription(QNetworkReply *reply)
{
    const QMetaEnum names = QMetaEnum::fromType<QNetworkReply::NetworkError>();
    const char *name = names.valueToKey(reply->error());
    return QStringLiteral("QNetworkReply::%1 (%2): %3")
        .arg(QString::fromLatin1(name ? name : "UnknownError"))
        .arg(int(reply->error()))
        .arg(reply->errorString());
}

enum class Inflated { Done, TooLarge, Unreadable };

// A gzip or zlib (or bare deflate) body inflated to at most `limit` bytes.
Inflated inflateBounded(const QByteArray &packed, qint64 limit, QByteArray *plain, bool bare)
{
    z_stream stream{};
    if (inflateInit2(&stream, bare ? -MAX_WBITS : MAX_WBITS + 32) != Z_OK)
        return Inflated::Unreadable;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.constData()));
    stream.avail_in = uInt(packed.size());
    QByteArray out;
    char chunk[64 * 1024];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(chunk, qsizetype(sizeof chunk - stream.avail_out));
        if (out.size() > limit) {
            inflateEnd(&stream);
            return Inflated::TooLarge;
        }
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            break;
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END)
        return Inflated::Unreadable;
    *plain = std::move(out);
    return Inflated::Done;
}

bool dnsNameMatches(const QString &pattern, const QString &host)
{
    if (pattern.compare(host, Qt::CaseInsensitive) == 0)
        return true;
    // "*.example.com" stands for exactly one more label.
    if (!pattern.startsWith(QLatin1String("*.")) || pattern.size() < 4)
        return false;
    const qsizetype dot = host.indexOf(QLatin1Char('.'));
    return dot > 0 && host.mid(dot).compare(pattern.mid(1), Qt::CaseInsensitive) == 0;
}
} // namespace

ServiceRequest::ServiceRequest(QNetworkReply *reply, std::chrono::milliseconds deadline, QObject *parent)
    : QObject(parent)
    , m_reply(reply)
{
    reply->setReadBufferSize(readBufferBytes);
    connect(reply, &QIODevice::readyRead, this, &ServiceRequest::readAvailable);
    connect(reply, &QNetworkReply::encrypted, this, &ServiceRequest::checkCertificate);
    connect(reply, &QNetworkReply::finished, this, &ServiceRequest::onFinished);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this, deadline] {
        fail(Failure::DeadlineExceeded,
             QStringLiteral("No whole answer within the time-out of %1 s").arg(double(deadline.count()) / 1000.0));
    });
    m_deadline.start(deadline);
}

ServiceRequest::~ServiceRequest()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void ServiceRequest::abort()
{
    fail(Failure::Aborted, QStringLiteral("aborted"));
}

bool ServiceRequest::namesHost(const QSslCertificate &certificate, const QString &host)
{
    const auto names = certificate.subjectAlternativeNames();
    const QHostAddress address(host);
    if (!address.isNull()) {
        for (const QString &entry : names.values(QSsl::AlternativeNameEntryType::IpAddressEntry)) {
            if (QHostAddress(entry) == address)
                return true;
        }
        return false;
    }
    for (const QString &entry : names.values(QSsl::AlternativeNameEntryType::DnsEntry)) {
        if (dnsNameMatches(entry, host))
            return true;
    }
    return false;
}

void ServiceRequest::checkCertificate()
{
    const QSslCertificate certificate = m_reply->sslConfiguration().peerCertificate();
    const QString host = m_reply->url().host();
    if (!namesHost(certificate, host))
        fail(Failure::CertificateName,
             QStringLiteral("the certificate of %1 names other hosts (%2)")
                 .arg(host, certificate.subjectInfo(QSslCertificate::CommonName).join(QLatin1String(", "))));
}

void ServiceRequest::readAvailable()
{
    if (m_failure != Failure::None || !m_reply)
        return;
    const QByteArray chunk = m_reply->read(maxAnswerBytes + 1 - m_body.size());
    m_body += chunk;
    if (m_body.size() > maxAnswerBytes)
        fail(Failure::TooLarge, QStringLiteral("the answer is larger than %1 bytes").arg(maxAnswerBytes));
}

void ServiceRequest::fail(Failure failure, const QString &description)
{
    if (m_failure != Failure::None || m_done)
        return;
    m_failure = failure;
    m_failureDescription = description;
    m_body.clear();
    if (m_reply)
        m_reply->abort(); // finishes the reply, and so this request
}

void ServiceRequest::decode()
{
    if (m_failure != Failure::None)
        return;
    const QByteArray encoding = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (encoding.isEmpty() || encoding == "identity")
        return;
    // Unknown encodings stay as they came: an answer the step cannot read.
    if (encoding != "gzip" && encoding != "x-gzip" && encoding != "deflate")
        return;
    QByteArray plain;
    Inflated inflated = inflateBounded(m_body, maxAnswerBytes, &plain, false);
    // "deflate" is sometimes sent without its zlib wrapping.
    if (inflated == Inflated::Unreadable && encoding == "deflate")
        inflated = inflateBounded(m_body, maxAnswerBytes, &plain, true);
    if (inflated == Inflated::TooLarge) {
        m_failure = Failure::TooLarge;
        m_failureDescription = QStringLiteral("the answer is larger than %1 bytes").arg(maxAnswerBytes);
        m_body.clear();
    } else if (inflated == Inflated::Done) {
        m_body = std::move(plain);
    }
}

void ServiceRequest::onFinished()
{
    if (m_done || !m_reply)
        return;
    m_done = true;
    m_deadline.stop();
    if (m_failure == Failure::None) {
        readAvailable();
        decode();
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (m_failure == Failure::None && status.isValid())
            m_status = status.toInt();
        else if (m_failure == Failure::None) {
            m_failure = Failure::Transport;
            m_failureDescription = transportDescription(m_reply);
        }
    }
    emit finished();
}

} // namespace tavoren::client
