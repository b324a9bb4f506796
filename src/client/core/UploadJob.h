#pragma once

#include "client/core/AdminConfig.h"
#include "client/core/ClientEnvironment.h"
#include "client/core/Config.h"
#include "client/core/DeviceIdentity.h"
#include "client/core/LogLevel.h"
#include "client/core/RestAPIUtil.h"
#include "shared/Expected.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace tavoren::client {

class ServiceRequest;
class UploadFrontEnd;

// Runs one print job from the job argument to the release code or an error
// key: service clock, wait for the spool file, size check, signed multipart
// upload, status polls, clean-up of the job's spool folder. It reports to a
// front-end and owns its requests for its lifetime. Everything runs on the
// thread that owns the object; waits are timers, never blocking sleeps.
class UploadJob final : public QObject
{
    Q_OBJECT

public:
    // Takes its clock, device identity, resource folder, system log and the
    // step of the wait for the spool file from the environment.
    UploadJob(UploadFrontEnd &frontEnd, ClientEnvironment environment, QObject *parent = nullptr);
    ~UploadJob() override;

    // The address entered on the e-mail entry screen; empty for none.
    void setOwnerEmail(const QString &ownerEmail) { m_ownerEmail = ownerEmail; }

    // Takes the process arguments (element 0 the program): parses the job
    // argument, determines the device serial and asks for the service time,
    // or quits when there is no well-formed job.
    void start(const QStringList &arguments);

    void getServerTime();
    QString calculateTimestamp() const;
    void uploadFile();
    void getFile(const QString &docID);
    // Deletes the job's spool folder (only a job folder below the spool root);
    // a failure is logged, and its reason kept in the Error.
    shared::Expected<void> deleteFolder();
    // Deletes the spool file only, stops the job and quits.
    void cancel();
    // Logs nothing itself: looks up the key, deletes the folder, shows the error.
    void errorTransition(const QString &key);

    const AdminConfig &config() const { return m_config; }
    const Config &clientConfig() const { return m_clientConfig; }
    const QString &fileName() const { return m_fileName; }
    const QString &filePath() const { return m_urlFile; }
    const std::optional<QString> &docID() const { return m_docID; }
    const QString &tavorenURL() const { return m_tavorenURL; }
    const QString &errorText() const { return m_errorText; }
    const QString &macAddressAsString() const { return m_macAddressAsString; }
    std::int64_t timeDifference() const { return m_timeDifference; }
    double startTime() const { return m_startTime; }
    // The owner address used for the job: the remembered one, else the entered one.
    QString ownerAddress() const;

    // Shortest decimal form with at least one fraction digit: 0.5, 12.0.
    static QString formatMegabytes(double megabytes);

private:
    struct AnswerRules;
    static const AnswerRules serverTimeRules;
    static const AnswerRules uploadRules;
    static const AnswerRules pollRules;

    double now() const;
    void log(LogLevel type, const QString &message, const QString &details) const;
    std::int64_t roundedNow() const;
    // Sends a request that ends at the whole-request time-out, however the
    // service answers; owned by the job, aborted when it finishes.
    ServiceRequest *send(QNetworkAccessManager &network, QNetworkRequest request, const QByteArray &method,
                         std::int64_t timeoutSeconds, QIODevice *body = nullptr);
    // The one place where an answer's status is checked: whether the step
    // goes on to read it; otherwise the job has ended on the error it led to.
    bool takesAnswer(ServiceRequest *request, const AnswerRules &rules);
    // The body of an answer taken, or why it cannot be read.
    static shared::Expected<QByteArray> bodyOf(const ServiceRequest &request);
    std::optional<QUrl> serviceUrl(const QString &path, const QString &failureKey);
    // The signed multipart upload of the opened spool file, streamed.
    void sendFile(std::unique_ptr<QFile> file, qint64 size);
    void finishJob();

    void onServerTime(ServiceRequest *request);
    void onUploaded(ServiceRequest *request);
    void accept(const QString &docID);
    void onPolled(ServiceRequest *request, const QString &docID);

    UploadFrontEnd &m_frontEnd;
    ClientEnvironment m_environment;

    AdminConfig m_config;
    Config m_clientConfig;
    QString m_fileName;
    QString m_urlFile;
    std::optional<QString> m_docID;
    QString m_ownerEmail;
    QString m_tavorenURL;
    RestAPIUtil m_restAPI;
    QString m_errorText;
    QString m_macAddressAsString;
    std::int64_t m_timeDifference = 0;
    double m_startTime = 0;
    // When the service accepted the job, for the limit on its conversion.
    double m_pollingSince = 0;

    QNetworkAccessManager m_network;
    QNetworkAccessManager m_uploadNetwork;
    bool m_finished = false;
};

} // namespace tavoren::client
