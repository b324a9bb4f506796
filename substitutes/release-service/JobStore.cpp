#include "release-service/JobStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <ctime>

namespace tavoren::releaseservice {

namespace {

QString isoTime(std::int64_t seconds)
{
    const std::time_t time = std::time_t(seconds);
    std::tm parts {};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return QString::fromLatin1(text);
}

QString text(const std::string &value)
{
    return QString::fromStdString(value);
}

} // namespace

JobStore::JobStore(std::vector<std::int64_t> statusSequence)
    : m_statusSequence(std::move(statusSequence))
    , m_random(std::random_device{}())
{
    if (m_statusSequence.empty())
        m_statusSequence.push_back(4);
}

std::string JobStore::reserveId()
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
    const std::lock_guard lock(m_mutex);
    for (;;) {
        std::string id(8, ' ');
        for (char &c : id)
            c = alphabet[pick(m_random)];
        if (m_usedIds.insert(id).second)
            return id;
    }
}

void JobStore::add(JobRecord job, std::int64_t created)
{
    const std::lock_guard lock(m_mutex);
    m_order.push_back(job.docId);
    std::string id = job.docId;
    m_entries.insert_or_assign(std::move(id), Entry{std::move(job), created, 0});
}

std::optional<std::string> JobStore::poll(const std::string &docId, std::int64_t serviceTime)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(docId);
    if (it == m_entries.end())
        return std::nullopt;
    Entry &entry = it->second;
    const std::int64_t status = m_statusSequence[std::min(entry.polls, m_statusSequence.size() - 1)];
    ++entry.polls;
    const JobRecord &job = entry.record;
    const bool failed = status == 5;
    const auto size = qint64(job.fileSize);

    QJsonObject document;
    document.insert(QLatin1String("Created"), isoTime(entry.created));
    document.insert(QLatin1String("DocumentType"), 1);
    document.insert(QLatin1String("ErrorCode"), failed ? 1 : 0);
    document.insert(QLatin1String("FileSize"), size);
    document.insert(QLatin1String("Name"), text(job.contentDescription));
    document.insert(QLatin1String("PageCount"), status == 4 ? 1 : 0);
    document.insert(QLatin1String("PdfFileSize"), status == 4 ? size : 0);
    document.insert(QLatin1String("Status"), qint64(status));
    document.insert(QLatin1String("StatusUpdated"), isoTime(serviceTime));
    document.insert(QLatin1String("Url"), QJsonValue::Null);

    QJsonObject drn;
    drn.insert(QLatin1String("DocID"), text(job.docId));
    drn.insert(QLatin1String("Documents"), QJsonArray{document});
    drn.insert(QLatin1String("EmailNotificationSent"), false);
    drn.insert(QLatin1String("EmailTo"), text(job.emailTo));
    drn.insert(QLatin1String("Expiration"), isoTime(entry.created + 24 * 3600));
    drn.insert(QLatin1String("IsNotificationRequired"), false);
    drn.insert(QLatin1String("NotificationStatus"), 0);
    drn.insert(QLatin1String("NotificationStatusUpdated"), QJsonValue::Null);
    drn.insert(QLatin1String("OwnerEmail"), job.ownerEmail ? QJsonValue(text(*job.ownerEmail)) : QJsonValue(QJsonValue::Null));
    drn.insert(QLatin1String("Status"), qint64(status));
    drn.insert(QLatin1String("UploadClient"), 5);
    return QJsonDocument(drn).toJson(QJsonDocument::Compact).toStdString();
}

std::vector<JobRecord> JobStore::jobs() const
{
    const std::lock_guard lock(m_mutex);
    std::vector<JobRecord> result;
    for (const std::string &id : m_order)
        result.push_back(m_entries.at(id).record);
    return result;
}

std::optional<JobRecord> JobStore::job(const std::string &docId) const
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(docId);
    if (it == m_entries.end())
        return std::nullopt;
    return it->second.record;
}

} // namespace tavoren::releaseservice
