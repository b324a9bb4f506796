#pragma once

#include "client/core/Document.h"
#include "shared/Expected.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace tavoren::client {

// The job record the release service returns for a status request.
struct DRN
{
    static constexpr std::int64_t statusConverted = 4;
    static constexpr std::int64_t statusFailed = 5;

    QString DocID;
    QList<Document> Documents;
    bool EmailNotificationSent = false;
    std::optional<QString> EmailTo;
    std::optional<QString> Expiration;
    bool IsNotificationRequired = false;
    std::int64_t NotificationStatus = 0;
    std::optional<QString> NotificationStatusUpdated;
    std::optional<QString> OwnerEmail;
    std::int64_t Status = 0;
    std::int64_t UploadClient = 0;

    // A whole record, or an Error whose text is a readable reason.
    static shared::Expected<DRN> decode(const QByteArray &json);
    QByteArray encode() const;

    bool operator==(const DRN &) const = default;
};

} // namespace tavoren::client
