#include "client/core/UploadJob.h"

#include "shared/Clock.h"
#include "shared/StringTable.h"
#include "client/core/ConfigFiles.h"
#include "client/core/Constants.h"
#include "client/core/DRN.h"
#include "client/core/JobArgument.h"
#include "client/core/JsonFields.h"
#include "client/core/Log.h"
#include "client/core/MultipartBodyDevice.h"
#include "client/core/NetworkSetup.h"
#include "client/core/ServiceRequest.h"
#include "client/core/SpoolFolder.h"
#include "client/core/UploadFrontEnd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace tavoren::client {

namespace {
// Seconds from the configuration as a timer or time-out in milliseconds.
int toMilliseconds(std::int64_t seconds)
{
    constexpr std::int64_t maxSeconds = std::numeric_limits<int>::max() / 1000;
    return int(std::clamp<std::int64_t>(seconds, 0, maxSeconds) * 1000);
}

// A time-out of zero or less would mean "none": such a value gets the
// platform's usual 60 seconds instead of waiting forever.
std::chrono::milliseconds deadlineOf(std::int64_t seconds)
{
    return std::chrono::milliseconds(seconds > 0 ? toMilliseconds(seconds) : 60 * 1000);
}

// A job identifier goes into the next request's path: one plain segment.
bool isPlainSegment(const QString &text)
{
    static const QRegularExpression segment(QStringLiteral("^[A-Za-z0-9_-]{1,128}$"));
    return segment.match(text).hasMatch();
}
} // namespace

// How each step reads the service's answer: the status of a good answer,
// the error key of every failure, and what is logged for which failure.
struct UploadJob::AnswerRules
{
    int expected;
    QLatin1String failureKey;
    // A 429 means "limit_reached"; logged at Debug when the details are given.
    bool limitReachedOn429;
    QString limitDetails;
    // Another status, logged at Error with its code when details are given.
    QString statusDetails;
    // No answer at all, logged at Error with a description.
    QString transportDetails;
};

const UploadJob::AnswerRules UploadJob::serverTimeRules{
    200, QLatin1String("connection_not_established"), true, QString(),
    QStringLiteral("Status Code <- Error in get servertime "), QStringLiteral("Error in get servertime ")};
const UploadJob::AnswerRules UploadJob::uploadRules{201, QLatin1String("unable_to_accept"), false, QString(), QString(),
                                                    QString()};
const UploadJob::AnswerRules UploadJob::pollRules{
    200, QLatin1String("unable_to_process_document"), true, QStringLiteral("Status Code <- Error in DRN Get "),
    QStringLiteral("<- Status Code Error in DRN Get "), QStringLiteral("Error in DRN Get ")};

UploadJob::UploadJob(UploadFrontEnd &frontEnd, ClientEnvironment environment, QObject *parent)
    : QObject(parent)
    , m_frontEnd(frontEnd)
    , m_environment(std::move(environment))
    , m_config(ConfigFiles(m_environment).parseAdminConfig())
    , m_clientConfig(ConfigFiles(m_environment).parseConfig())
    , m_restAPI(m_config)
{
    m_startTime = now();
    NetworkSetup::applyProxySettings();
}

UploadJob::~UploadJob() = default;

double UploadJob::now() const
{
    return m_environment.clock->wallSeconds();
}

void UploadJob::log(LogLevel type, const QString &message, const QString &details) const
{
    Log(m_environment.systemLog, type, message, details);
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
        log(LogLevel::Debug, QString(), QStringLiteral("Trying to launch from the doc or app"));
        finishJob();
        m_frontEnd.quit();
        return;
    }

    const QStringList pieces = JobArgument::pieces(arguments.at(1));
    m_fileName = pieces.first();
    m_frontEnd.setIndeterminate(true);
    m_tavorenURL = m_config.host;

    if (pieces.size() < 2) {
        log(LogLevel::Error, arguments.join(QString()), QStringLiteral(" <- commandline agrs filepath not found "));
        finishJob();
        m_frontEnd.quit();
        return;
    }

    log(LogLevel::Debug, pieces.at(1), QStringLiteral("<-filepath"));
    log(LogLevel::Debug, JobArgument::extension(pieces.first()), QStringLiteral("<-fileextension"));
    m_urlFile = pieces.at(1);
    m_macAddressAsString = m_environment.device->macAddressAsString();

    // The job folder is deleted after the upload: a file anywhere else is
    // neither sent nor deleted.
    if (!SpoolFolder::jobFolderOf(m_urlFile)) {
        log(LogLevel::Error, m_urlFile, QStringLiteral(" <- file is not in a job folder of the spool folder"));
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
    log(LogLevel::Error, text, QStringLiteral(" <- invalid service address"));
    errorTransition(failureKey);
    return std::nullopt;
}

ServiceRequest *UploadJob::send(QNetworkAccessManager &network, QNetworkRequest request, const QByteArray &method,
                                std::int64_t timeoutSeconds, QIODevice *body)
{
    NetworkSetup::configure(request);
    // The signed headers must not follow a redirect to another host: a
    // redirect is an answer like any other status.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // Asked for here rather than by Qt, so the compressed bytes come to the
    // request, which inflates them within its limit.
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    QNetworkReply *reply = network.sendCustomRequest(request, method, body);
    if (body)
        body->setParent(reply);
    // The request is the job's child: finishing the job aborts it.
    return new ServiceRequest(reply, deadlineOf(timeoutSeconds), this);
}

bool UploadJob::takesAnswer(ServiceRequest *request, const AnswerRules &rules)
{
    request->deleteLater();
    if (m_finished)
        return false;
    const auto failure = request->failure();
    // The step reads it as an answer it cannot use.
    if (failure == ServiceRequest::Failure::TooLarge)
        return true;
    const std::optional<int> status = request->status();
    if (!status) {
        if (failure != ServiceRequest::Failure::Aborted)
            log(LogLevel::Error, request->failureDescription(), rules.transportDetails);
        errorTransition(rules.failureKey);
        return false;
    }
    if (*status == 429 && rules.limitReachedOn429) {
        if (!rules.limitDetails.isEmpty())
            log(LogLevel::Debug, QString::number(*status), rules.limitDetails);
        errorTransition(QStringLiteral("limit_reached"));
        return false;
    }
    if (*status != rules.expected) {
        if (!rules.statusDetails.isEmpty())
            log(LogLevel::Error, QString::number(*status), rules.statusDetails);
        errorTransition(rules.failureKey);
        return false;
    }
    return true;
}

shared::Expected<QByteArray> UploadJob::bodyOf(const ServiceRequest &request)
{
    if (request.failure() == ServiceRequest::Failure::TooLarge)
        return shared::Error::because("read", "the answer", request.failureDescription().toStdString());
    return request.body();
}

void UploadJob::getServerTime()
{
    if (m_finished)
        return;
    const auto url = serviceUrl(Constants::serverTimeURL, QStringLiteral("connection_not_established"));
    if (!url)
        return;
    ServiceRequest *request = send(m_network, QNetworkRequest(*url), QByteArrayLiteral("GET"), m_config.getservertimeout);
    connect(request, &ServiceRequest::finished, this, [this, request] { onServerTime(request); });
}

void UploadJob::onServerTime(ServiceRequest *request)
{
    if (!takesAnswer(request, serverTimeRules))
        return;
    const auto body = bodyOf(*request);
    QJsonParseError parseError;
    const QJsonDocument document = body ? QJsonDocument::fromJson(*body, &parseError) : QJsonDocument();
    // Without a whole-number "ServerTime" there is no offset to sign with.
    const auto serverTime = body && parseError.error == QJsonParseError::NoError && document.isObject()
        ? JsonFields::integerValue(document.object().value(Constants::serverTimeString))
        : std::nullopt;
    if (!serverTime) {
        log(LogLevel::Error, QStringLiteral("JSONSerialization issue"), QStringLiteral("Error in get servertime "));
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
        log(LogLevel::Error, QStringLiteral("Conversion Timeout"), QStringLiteral("Inside upload file"));
        errorTransition(QStringLiteral("failed_to_prepare"));
        return;
    }

    log(LogLevel::Debug, QString::number(elapsed), QStringLiteral("time interval to convert"));
    m_frontEnd.setIndeterminate(false);

    // The file is streamed from disk; it must still be the job's own file.
    auto file = std::make_unique<QFile>(m_urlFile);
    if (!SpoolFolder::jobFolderOf(m_urlFile) || !file->open(QIODevice::ReadOnly)) {
        log(LogLevel::Error, QStringLiteral("No File from agent"), QStringLiteral("Inside upload file"));
        errorTransition(QStringLiteral("failed_to_prepare"));
        return;
    }

    const qint64 size = file->size();
    const double megabytes = double(size / 1024) / 1024.0;
    log(LogLevel::Status, formatMegabytes(megabytes), QStringLiteral("filesize in MB"));
    if (static_cast<std::int64_t>(megabytes) > m_config.filesizelimitinmb) {
        log(LogLevel::Status, QStringLiteral("file size exceeded"), QStringLiteral("Inside upload file"));
        errorTransition(QStringLiteral("size_exceeds"));
        return;
    }
    sendFile(std::move(file), size);
}

void UploadJob::sendFile(std::unique_ptr<QFile> file, qint64 size)
{
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
    RestAPIUtil::addSignedHeaders(request, calculateTimestamp(), QString(), Constants::methodPost,
                                  m_macAddressAsString);
    const QString boundary = RestAPIUtil::makeBoundary();
    request.setRawHeader(QByteArray(Constants::contentType.data()),
                         "multipart/form-data; boundary=" + boundary.toLatin1());

    auto *body = new MultipartBodyDevice(
        RestAPIUtil::ownerPart(owner, boundary) + RestAPIUtil::filePartHeader(boundary, m_fileName, Constants::mimePDF),
        std::move(file), size, RestAPIUtil::filePartEnd() + RestAPIUtil::closingBoundary(boundary));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body->size());

    log(LogLevel::Status, QStringLiteral("file uploading started"), QString());
    ServiceRequest *upload = send(m_uploadNetwork, request, QByteArrayLiteral("POST"), m_config.createdrntimeout, body);
    connect(upload->reply(), &QNetworkReply::uploadProgress, this, [this](qint64 sent, qint64 expected) {
        if (m_finished || expected <= 0)
            return;
        const float percent = float(sent) / float(expected) * 100.0f;
        m_frontEnd.setProgress(std::clamp(int(percent), 0, 100));
    });
    connect(upload, &ServiceRequest::finished, this, [this, upload] { onUploaded(upload); });
}

void UploadJob::onUploaded(ServiceRequest *request)
{
    if (!takesAnswer(request, uploadRules))
        return;
    const auto body = bodyOf(*request);
    QJsonParseError parseError;
    const QJsonDocument document = body ? QJsonDocument::fromJson(*body, &parseError) : QJsonDocument();
    // The job identifier becomes part of the next request's path: anything
    // but a plain segment is an answer that cannot be used.
    const QJsonValue docID = document.isObject() ? document.object().value(Constants::docIdString) : QJsonValue();
    if (!body || parseError.error != QJsonParseError::NoError || !docID.isString() || !isPlainSegment(docID.toString())) {
        log(LogLevel::Error, QStringLiteral("error in drn post"), QString());
        errorTransition(QStringLiteral("unable_to_accept"));
        return;
    }
    // Accepted: continue in a later turn of the event loop.
    QTimer::singleShot(0, this, [this, accepted = docID.toString()] { accept(accepted); });
}

void UploadJob::accept(const QString &docID)
{
    if (m_finished)
        return;
    m_docID = docID;
    m_pollingSince = now();
    m_frontEnd.setCancelEnabled(false);
    m_frontEnd.setIndeterminate(true);
    getFile(*m_docID);
    // Logged where it happens; the polls go on either way.
    [[maybe_unused]] const auto removed = deleteFolder();
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
    RestAPIUtil::addSignedHeaders(request, timestamp, docID, Constants::methodGet, m_macAddressAsString);
    ServiceRequest *poll = send(m_network, request, QByteArrayLiteral("GET"), m_config.getdrntimeout);
    connect(poll, &ServiceRequest::finished, this, [this, poll, docID] { onPolled(poll, docID); });
}

void UploadJob::onPolled(ServiceRequest *request, const QString &docID)
{
    if (!takesAnswer(request, pollRules))
        return;
    const auto body = bodyOf(*request);
    const auto drn = body ? DRN::decode(*body)
                          : shared::Expected<DRN>(shared::Error::because(
                              "decode", "the job record", "The job record is larger than an answer may be."));
    if (!drn) {
        log(LogLevel::Error, QString::fromStdString(drn.error().text), QStringLiteral("Error in DRN Get "));
        errorTransition(QStringLiteral("unable_to_process_document"));
        return;
    }
    if (drn->Status == DRN::statusConverted) {
        log(LogLevel::Status, QStringLiteral("file converted"), QString());
        finishJob();
        m_frontEnd.showReleaseCode(m_docID.value_or(docID), m_fileName);
        return;
    }
    if (drn->Status == DRN::statusFailed) {
        errorTransition(QStringLiteral("unable_to_process_document"));
        return;
    }
    // A job that is never converted does not keep its user waiting forever.
    if (now() - m_pollingSince >= double(std::max<std::int64_t>(m_config.drnpollinglimitinsecond, 0))) {
        log(LogLevel::Error, QStringLiteral("Conversion not finished within %1 seconds").arg(m_config.drnpollinglimitinsecond),
            QStringLiteral("Error in DRN Get "));
        errorTransition(QStringLiteral("unable_to_process_document"));
        return;
    }
    QTimer::singleShot(toMilliseconds(m_config.drnpollingtimeinsecond), this, [this, docID] { getFile(docID); });
}

void UploadJob::errorTransition(const QString &key)
{
    if (m_finished)
        return;
    const QString text = m_environment.strings->lookup(key);
    // Logged where it happens; the error screen comes either way.
    [[maybe_unused]] const auto removed = deleteFolder();
    m_errorText = text;
    finishJob();
    m_frontEnd.showError(m_errorText);
}

shared::Expected<void> UploadJob::deleteFolder()
{
    const QString folder = QFileInfo(m_urlFile).absolutePath();
    const auto failed = [this, &folder](const QString &details, shared::Error error) {
        log(LogLevel::Error, folder, details);
        return error;
    };
    if (!QFileInfo(folder).isDir())
        return failed(QStringLiteral(" <- Could not delete folder"),
                      shared::Error::because("delete", folder.toStdString(), "it is no folder"));
    if (auto jobFolder = SpoolFolder::jobFolderOf(m_urlFile); !jobFolder)
        return failed(QStringLiteral(" <- Could not delete folder outside the spool folder"), jobFolder.error());
    if (auto removed = SpoolFolder::removeJobFolder(m_urlFile); !removed)
        return failed(QStringLiteral(" <- Could not delete folder"), removed.error());
    return {};
}

void UploadJob::cancel()
{
    if (!SpoolFolder::removeSpoolFile(m_urlFile))
        log(LogLevel::Error, m_urlFile, QStringLiteral("Delete from UI Cancel file not found"));
    finishJob();
    m_frontEnd.quit();
}

void UploadJob::finishJob()
{
    m_finished = true;
    // Nothing of this job may reach the front-end any more, and nothing of
    // it may go on reaching the service.
    const auto requests = findChildren<ServiceRequest *>(Qt::FindDirectChildrenOnly);
    for (ServiceRequest *request : requests)
        request->abort();
}

} // namespace tavoren::client
