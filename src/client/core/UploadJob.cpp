#include "client/core/UploadJob.h"

#include "client/core/ConfigFiles.h"
#include "client/core/Constants.h"
#include "client/core/DRN.h"
#include "client/core/JobArgument.h"
#include "client/core/JsonFields.h"
#include "client/core/Log.h"
#include "client/core/MultipartBodyDevice.h"
#include "client/core/NetworkSetup.h"
#include "client/core/SpoolFolder.h"
#include "client/core/UploadFrontEnd.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace tavoren::client {

namespace {
// Answers of the service are small JSON objects; a larger one is refused
// rather than buffered.
constexpr qint64 maxAnswerBytes = 1024 * 1024;
const char *tooLargeProperty = "tavorenTooLarge";

QString statusText(int status)
{
    return QString::number(status);
}

// A readable description of a transport failure, with the error's name.
QString errorDescription(QNetworkReply *reply)
{
    const QMetaEnum names = QMetaEnum::fromType<QNetworkReply::NetworkError>();
    const char *name = names.valueToKey(reply->error());
    return QStringLiteral("QNetworkReply::%1 (%2): %3")
        .arg(QString::fromLatin1(name ? name : "UnknownError"))
        .arg(int(reply->error()))
        .arg(reply->errorString());
}

std::optional<int> httpStatus(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

// The body of an HTTP response, or nothing when it was cut off for size.
std::optional<QByteArray> answerBody(QNetworkReply *reply)
{
    if (reply->property(tooLargeProperty).toBool())
        return std::nullopt;
    return reply->readAll();
}

// Seconds from the configuration as a timer or time-out in milliseconds.
int toMilliseconds(std::int64_t seconds)
{
    constexpr std::int64_t maxSeconds = std::numeric_limits<int>::max() / 1000;
    return int(std::clamp<std::int64_t>(seconds, 0, maxSeconds) * 1000);
}

// A time-out of zero or less would mean "none" to the network layer; such a
// value gets the platform's usual 60 seconds instead of hanging forever.
int timeoutMilliseconds(std::int64_t seconds)
{
    return seconds > 0 ? toMilliseconds(seconds) : 60 * 1000;
}
} // namespace

UploadJob::UploadJob(UploadFrontEnd &frontEnd, QObject *parent)
    : UploadJob(frontEnd, Environment(), parent)
{
}

UploadJob::UploadJob(UploadFrontEnd &frontEnd, Environment environment, QObject *parent)
    : QObject(parent)
    , m_frontEnd(frontEnd)
    , m_environment(std::move(environment))
    , m_config(ConfigFiles::parseAdminConfig())
    , m_clientConfig(ConfigFiles::parseConfig())
{
    if (!m_environment.clock)
        m_environment.clock = [] { return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0; };
    if (!m_environment.device)
        m_environment.device = DeviceIdentity::platform();
    m_startTime = now();
    NetworkSetup::applyProxySettings();
}

UploadJob::~UploadJob() = default;

double UploadJob::now() const
{
    return m_environment.clock();
}

std::int64_t UploadJob::roundedNow() const
{
    return std::llround(now());
}

QString UploadJob::ownerAddress() const
{
    return m_clientConfig.owneremail.isEmpty() ? m_ownerEmail : m_clientConfig.owneremail;
}

QString UploadJob::formatMegabytes(double megabytes)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, megabytes);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QStringLiteral(".0");
    return text;
}

void UploadJob::start(const QStringList &arguments)
{
    if (arguments.size() <= 1) {
        Log(LogLevel::Debug, QString(), QStringLiteral("Trying to launch from the doc or app"));
        finishJob();
        m_frontEnd.quit();
        return;
    }

    const QStringList pieces = JobArgument::pieces(arguments.at(1));
    m_fileName = pieces.first();
    m_frontEnd.setIndeterminate(true);
    m_tavorenURL = m_config.host;

    if (pieces.size() < 2) {
        Log(LogLevel::Error, arguments.join(QString()), QStringLiteral(" <- commandline agrs filepath not found "));
        finishJob();
        m_frontEnd.quit();
        return;
    }

    Log(LogLevel::Debug, pieces.at(1), QStringLiteral("<-filepath"));
    Log(LogLevel::Debug, JobArgument::extension(pieces.first()), QStringLiteral("<-fileextension"));
    m_urlFile = pieces.at(1);
    m_macAddressAsString = m_environment.device->macAddressAsString();

    // The job folder is deleted after the upload: a file anywhere else is
    // neither sent nor deleted.
    if (!SpoolFolder::jobFolderOf(m_urlFile)) {
        Log(LogLevel::Error, m_urlFile, QStringLiteral(" <- file is not in a job folder of the spool folder"));
        errorTransition(QStringLiteral("failed_to_prepare"));
        return;
    }
    getServerTime();
}

std::optional<QUrl> UploadJob::serviceUrl(const QString &path, const QString &failureKey)
{
    const QString text = m_tavorenURL + path;
    const QUrl url(text, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty())
        return url;
    // An address that cannot be formed would otherwise leave the job waiting
    // for an answer that never comes.
    Log(LogLevel::Error, text, QStringLiteral(" <- invalid service address"));
    errorTransition(failureKey);
    return std::nullopt;
}

QNetworkReply *UploadJob::send(QNetworkAccessManager &network, QNetworkRequest request, const QByteArray &method,
                               QIODevice *body)
{
    NetworkSetup::configure(request);
    // The signed headers must not follow a redirect to another host: a
    // redirect is an answer like any other status.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *reply = network.sendCustomRequest(request, method, body);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maxAnswerBytes && !reply->property(tooLargeProperty).toBool()) {
            reply->setProperty(tooLargeProperty, true);
            reply->abort();
        }
    });
    return reply;
}

void UploadJob::getServerTime()
{
    if (m_finished)
        return;
    const auto url = serviceUrl(Constants::serverTimeURL, QStringLiteral("connection_not_established"));
    if (!url)
        return;
    QNetworkRequest request(*url);
    request.setTransferTimeout(timeoutMilliseconds(m_config.getservertimeout));
    QNetworkReply *reply = send(m_network, request, QByteArrayLiteral("GET"));
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onServerTime(reply); });
}

void UploadJob::onServerTime(QNetworkReply *reply)
{
    reply->deleteLater();
    if (m_finished)
        return;

    const auto status = httpStatus(reply);
    if (status && *status == 429) {
        errorTransition(QStringLiteral("limit_reached"));
        return;
    }
    if (status && *status != 200) {
        Log(LogLevel::Error, statusText(*status), QStringLiteral("Status Code <- Error in get servertime "));
        errorTransition(QStringLiteral("connection_not_established"));
        return;
    }
    if (!status) {
        Log(LogLevel::Error, errorDescription(reply), QStringLiteral("Error in get servertime "));
        errorTransition(QStringLiteral("connection_not_established"));
        return;
    }

    const std::optional<QByteArray> body = answerBody(reply);
    QJsonParseError parseError;
    const QJsonDocument document = body ? QJsonDocument::fromJson(*body, &parseError) : QJsonDocument();
    // Without a whole-number "ServerTime" there is no offset to sign with.
    const auto serverTime = body && parseError.error == QJsonParseError::NoError && document.isObject()
        ? JsonFields::integerValue(document.object().value(Constants::serverTimeString))
        : std::nullopt;
    if (!serverTime) {
        Log(LogLevel::Error, QStringLiteral("JSONSerialization issue"), QStringLiteral("Error in get servertime "));
        errorTransition(QStringLiteral("connection_not_established"));
        return;
    }
    m_timeDifference = *serverTime - roundedNow();
    uploadFile();
}

QString UploadJob::calculateTimestamp() const
{
    return QString::number(roundedNow() + m_timeDifference);
}

void UploadJob::uploadFile()
{
    if (m_finished)
        return;

    const auto elapsed = static_cast<std::int64_t>(std::trunc(now() - m_startTime));
    if (!QFileInfo::exists(m_urlFile)) {
        if (elapsed <= m_config.conversiontimeout) {
            QTimer::singleShot(m_environment.spoolWaitStep, this, &UploadJob::uploadFile);
            return;
        }
        Log(LogLevel::Error, QStringLiteral("Conversion Timeout"), QStringLiteral("Inside upload file"));
        errorTransition(QStringLiteral("failed_to_prepare"));
        return;
    }

    Log(LogLevel::Debug, QString::number(elapsed), QStringLiteral("time interval to convert"));
    m_frontEnd.setIndeterminate(false);

    // The file is streamed from disk; it must still be the job's own file.
    auto file = std::make_unique<QFile>(m_urlFile);
    if (!SpoolFolder::jobFolderOf(m_urlFile) || !file->open(QIODevice::ReadOnly)) {
        Log(LogLevel::Error, QStringLiteral("No File from agent"), QStringLiteral("Inside upload file"));
        errorTransition(QStringLiteral("failed_to_prepare"));
        return;
    }

    const qint64 size = file->size();
    const double megabytes = double(size / 1024) / 1024.0;
    Log(LogLevel::Status, formatMegabytes(megabytes), QStringLiteral("filesize in MB"));
    if (static_cast<std::int64_t>(megabytes) > m_config.filesizelimitinmb) {
        Log(LogLevel::Status, QStringLiteral("file size exceeded"), QStringLiteral("Inside upload file"));
        errorTransition(QStringLiteral("size_exceeds"));
        return;
    }

    QJsonObject owner;
    const QString address = ownerAddress();
    if (!address.isEmpty())
        owner.insert(Constants::ownerEmailString, address);
    owner.insert(Constants::uploadClientString, Constants::uploadlient);
    owner.insert(Constants::emailToString, m_config.emailto);

    const auto url = serviceUrl(Constants::drnURL, QStringLiteral("unable_to_accept"));
    if (!url)
        return;
    QNetworkRequest request(*url);
    request.setTransferTimeout(timeoutMilliseconds(m_config.createdrntimeout));
    RestAPIUtil::addSignedHeaders(request, calculateTimestamp(), QString(), Constants::methodPost,
                                  m_macAddressAsString);
    const QString boundary = RestAPIUtil::makeBoundary();
    request.setRawHeader(QByteArray(Constants::contentType.data()),
                         "multipart/form-data; boundary=" + boundary.toLatin1());

    auto *body = new MultipartBodyDevice(
        RestAPIUtil::ownerPart(owner, boundary) + RestAPIUtil::filePartHeader(boundary, m_fileName, Constants::mimePDF),
        std::move(file), size, RestAPIUtil::filePartEnd() + RestAPIUtil::closingBoundary(boundary));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body->size());

    Log(LogLevel::Status, QStringLiteral("file uploading started"), QString());
    QNetworkReply *reply = send(m_uploadNetwork, request, QByteArrayLiteral("POST"), body);
    body->setParent(reply);
    connect(reply, &QNetworkReply::uploadProgress, this, [this](qint64 sent, qint64 expected) {
        if (m_finished || expected <= 0)
            return;
        const float percent = float(sent) / float(expected) * 100.0f;
        m_frontEnd.setProgress(std::clamp(int(percent), 0, 100));
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onUploaded(reply); });
}

void UploadJob::onUploaded(QNetworkReply *reply)
{
    reply->deleteLater();
    if (m_finished)
        return;

    const auto status = httpStatus(reply);
    if (status && *status != 201) {
        errorTransition(QStringLiteral("unable_to_accept"));
        return;
    }
    if (!status) {
        Log(LogLevel::Error, errorDescription(reply), QString());
        errorTransition(QStringLiteral("unable_to_accept"));
        return;
    }

    const std::optional<QByteArray> body = answerBody(reply);
    QJsonParseError parseError;
    if (body)
        QJsonDocument::fromJson(*body, &parseError);
    if (!body || parseError.error != QJsonParseError::NoError) {
        Log(LogLevel::Error, QStringLiteral("error in drn post"), QString());
        errorTransition(QStringLiteral("unable_to_accept"));
        return;
    }
    // Accepted: continue in a later turn of the event loop.
    QTimer::singleShot(0, this, [this, accepted = *body] { accept(accepted); });
}

void UploadJob::accept(const QByteArray &body)
{
    if (m_finished)
        return;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonObject object = document.isObject() ? document.object() : QJsonObject();
    const QJsonValue docID = object.value(Constants::docIdString);
    m_docID = docID.isString() ? docID.toString() : m_strings.lookup(QStringLiteral("unable_to_accept"));
    m_frontEnd.setCancelEnabled(false);
    m_frontEnd.setIndeterminate(true);
    getFile(*m_docID);
    deleteFolder();
}

void UploadJob::getFile(const QString &docID)
{
    if (m_finished)
        return;
    const QString timestamp = calculateTimestamp();
    const auto url = serviceUrl(Constants::drnURL + docID, QStringLiteral("unable_to_process_document"));
    if (!url)
        return;
    QNetworkRequest request(*url);
    request.setTransferTimeout(timeoutMilliseconds(m_config.getdrntimeout));
    RestAPIUtil::addSignedHeaders(request, timestamp, docID, Constants::methodGet, m_macAddressAsString);
    QNetworkReply *reply = send(m_network, request, QByteArrayLiteral("GET"));
    connect(reply, &QNetworkReply::finished, this, [this, reply, docID] { onPolled(reply, docID); });
}

void UploadJob::onPolled(QNetworkReply *reply, const QString &docID)
{
    reply->deleteLater();
    if (m_finished)
        return;

    const auto status = httpStatus(reply);
    if (status && *status == 429) {
        Log(LogLevel::Debug, statusText(*status), QStringLiteral("Status Code <- Error in DRN Get "));
        errorTransition(QStringLiteral("limit_reached"));
        return;
    }
    if (status && *status != 200) {
        Log(LogLevel::Error, statusText(*status), QStringLiteral("<- Status Code Error in DRN Get "));
        errorTransition(QStringLiteral("unable_to_process_document"));
        return;
    }
    if (!status) {
        Log(LogLevel::Error, errorDescription(reply), QStringLiteral("Error in DRN Get "));
        errorTransition(QStringLiteral("unable_to_process_document"));
        return;
    }

    const std::optional<QByteArray> body = answerBody(reply);
    QString error = QStringLiteral("The job record is larger than an answer may be.");
    const std::optional<DRN> drn = body ? DRN::decode(*body, &error) : std::nullopt;
    if (!drn) {
        Log(LogLevel::Error, error, QStringLiteral("Error in DRN Get "));
        errorTransition(QStringLiteral("unable_to_process_document"));
        return;
    }
    if (drn->Status == DRN::statusConverted) {
        Log(LogLevel::Status, QStringLiteral("file converted"), QString());
        finishJob();
        m_frontEnd.showReleaseCode(m_docID.value_or(docID), m_fileName);
        return;
    }
    if (drn->Status == DRN::statusFailed) {
        errorTransition(QStringLiteral("unable_to_process_document"));
        return;
    }
    QTimer::singleShot(toMilliseconds(m_config.drnpollingtimeinsecond), this, [this, docID] { getFile(docID); });
}

void UploadJob::errorTransition(const QString &key)
{
    if (m_finished)
        return;
    const QString text = m_strings.lookup(key);
    deleteFolder();
    m_errorText = text;
    finishJob();
    m_frontEnd.showError(m_errorText);
}

void UploadJob::deleteFolder()
{
    const QString folder = QFileInfo(m_urlFile).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        Log(LogLevel::Error, folder, QStringLiteral(" <- Could not delete folder"));
        return;
    }
    if (!SpoolFolder::jobFolderOf(m_urlFile)) {
        Log(LogLevel::Error, folder, QStringLiteral(" <- Could not delete folder outside the spool folder"));
        return;
    }
    if (!QDir(folder).removeRecursively())
        Log(LogLevel::Error, folder, QStringLiteral(" <- Could not delete folder"));
}

void UploadJob::cancel()
{
    if (!SpoolFolder::jobFolderOf(m_urlFile) || !QFile::remove(m_urlFile))
        Log(LogLevel::Error, m_urlFile, QStringLiteral("Delete from UI Cancel file not found"));
    finishJob();
    m_frontEnd.quit();
}

void UploadJob::finishJob()
{
    m_finished = true;
    // Nothing of this job may reach the front-end any more.
    const auto replies = findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies)
        reply->abort();
}

} // namespace tavoren::client
