#include "client/core/DRN.h"

#include "client/core/JsonFields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace tavoren::client {

shared::Expected<DRN> DRN::decode(const QByteArray &json)
{
    const auto failed = [](const QString &why) {
        return shared::Error::because("decode", "the job record", why.toStdString());
    };

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failed(QStringLiteral("The job record is not valid JSON: %1.").arg(parseError.errorString()));
    if (!document.isObject())
        return failed(QStringLiteral("The job record is not a JSON object."));

    JsonFields fields(document.object(), QStringLiteral("job"));
    DRN drn;
    drn.DocID = fields.requiredString(QStringLiteral("DocID"));
    const QJsonArray documents = fields.requiredArray(QStringLiteral("Documents"));
    drn.EmailNotificationSent = fields.requiredBool(QStringLiteral("EmailNotificationSent"));
    drn.EmailTo = fields.optionalString(QStringLiteral("EmailTo"));
    drn.Expiration = fields.optionalString(QStringLiteral("Expiration"));
    drn.IsNotificationRequired = fields.requiredBool(QStringLiteral("IsNotificationRequired"));
    drn.NotificationStatus = fields.requiredInteger(QStringLiteral("NotificationStatus"));
    drn.NotificationStatusUpdated = fields.optionalString(QStringLiteral("NotificationStatusUpdated"));
    drn.OwnerEmail = fields.optionalString(QStringLiteral("OwnerEmail"));
    drn.Status = fields.requiredInteger(QStringLiteral("Status"));
    drn.UploadClient = fields.requiredInteger(QStringLiteral("UploadClient"));
    if (!fields.ok())
        return failed(fields.error());

    for (const QJsonValue &value : documents) {
        if (!value.isObject())
            return failed(QStringLiteral("A member of \"Documents\" of the job record is not an object."));
        JsonFields documentFields(value.toObject(), QStringLiteral("document"));
        drn.Documents.append(Document::decode(documentFields));
        if (!documentFields.ok())
            return failed(documentFields.error());
    }
    return drn;
}

QByteArray DRN::encode() const
{
    QJsonArray documents;
    for (const Document &document : Documents)
        documents.append(document.encode());

    QJsonObject object;
    object.insert(QStringLiteral("DocID"), DocID);
    object.insert(QStringLiteral("Documents"), documents);
    object.insert(QStringLiteral("EmailNotificationSent"), EmailNotificationSent);
    if (EmailTo)
        object.insert(QStringLiteral("EmailTo"), *EmailTo);
    if (Expiration)
        object.insert(QStringLiteral("Expiration"), *Expiration);
    object.insert(QStringLiteral("IsNotificationRequired"), IsNotificationRequired);
    object.insert(QStringLiteral("NotificationStatus"), qint64(NotificationStatus));
    if (NotificationStatusUpdated)
        object.insert(QStringLiteral("NotificationStatusUpdated"), *NotificationStatusUpdated);
    if (OwnerEmail)
        object.insert(QStringLiteral("OwnerEmail"), *OwnerEmail);
    object.insert(QStringLiteral("Status"), qint64(Status));
    object.insert(QStringLiteral("UploadClient"), qint64(UploadClient));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace tavoren::client
