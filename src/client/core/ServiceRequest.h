#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <chrono>
#include <optional>

class QSslCertificate;

namespace tavoren::client {

// One request to the release service and its answer. The answer is read as
// it arrives and cut off at the limit, whatever its transfer encoding; a
// compressed one is inflated here, within the same limit (the request asks
// for compression itself, so Qt leaves the bytes as they come); the whole
// request ends at its deadline, however slowly the service trickles; a
// certificate that does not name the host ends it too. Destroying it aborts
// the request.
class ServiceRequest final : public QObject
{
    Q_OBJECT

public:
    // Answers of the service are small JSON objects.
    static constexpr qint64 maxAnswerBytes = 1024 * 1024;

    enum class Failure {
        None,
        Transport,       // no answer: refused, reset, TLS, ...
        TooLarge,        // the answer went past the limit
        DeadlineExceeded,
        CertificateName, // the certificate names other hosts
        Aborted,         // ended by its job
    };

    // Takes the reply just sent (it stays the network manager's child).
    ServiceRequest(QNetworkReply *reply, std::chrono::milliseconds deadline, QObject *parent = nullptr);
    ~ServiceRequest() override;

    void abort();

    std::optional<int> status() const { return m_status; }
    const QByteArray &body() const { return m_body; }
    Failure failure() const { return m_failure; }
    // A readable description of the failure for the log.
    QString failureDescription() const { return m_failureDescription; }
    QNetworkReply *reply() const { return m_reply; }

    // Whether the certificate's subject alternative names list the host (a
    // DNS name, with a wildcard for the leftmost label only, or an IP
    // address). The common name does not count.
    static bool namesHost(const QSslCertificate &certificate, const QString &host);

signals:
    void finished();

private:
    void readAvailable();
    // A compressed answer inflated, within the same limit.
    void decode();
    void checkCertificate();
    void fail(Failure failure, const QString &description);
    void onFinished();

    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    QByteArray m_body;
    std::optional<int> m_status;
    Failure m_failure = Failure::None;
    QString m_failureDescription;
    bool m_done = false;
};

} // namespace tavoren::client
