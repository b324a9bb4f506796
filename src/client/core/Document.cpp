#include "client/core/Document.h"

#include "client/core/JsonFields.h"

namespace tavoren::client {

Document Document::decode(JsonFields &fields)
{
    Document document;
    document.Created = fields.optionalString(QStringLiteral("Created"));
    document.DocumentType = fields.requiredInteger(QStringLiteral("DocumentType"));
    document.ErrorCode = fields.requiredInteger(QStringLiteral("ErrorCode"));
    document.FileSize = fields.requiredInteger(QStringLiteral("FileSize"));
    document.Name = fields.optionalString(QStringLiteral("Name"));
    document.PageCount = fields.requiredInteger(QStringLiteral("PageCount"));
    document.PdfFileSize = fields.requiredInteger(QStringLiteral("PdfFileSize"));
    document.Status = fields.requiredInteger(QStringLiteral("Status"));
    document.StatusUpdated = fields.optionalString(QStringLiteral("StatusUpdated"));
    document.Url = fields.optionalString(QStringLiteral("Url"));
    return document;
}

QJsonObject Document::encode() const
{
    QJsonObject object;
    if (Created)
        object.insert(QStringLiteral("Created"), *Created);
    object.insert(QStringLiteral("DocumentType"), qint64(DocumentType));
    object.insert(QStringLiteral("ErrorCode"), qint64(ErrorCode));
    object.insert(QStringLiteral("FileSize"), qint64(FileSize));
    if (Name)
        object.insert(QStringLiteral("Name"), *Name);
    object.insert(QStringLiteral("PageCount"), qint64(PageCount));
    object.insert(QStringLiteral("PdfFileSize"), qint64(PdfFileSize));
    object.insert(QStringLiteral("Status"), qint64(Status));
    if (StatusUpdated)
        object.insert(QStringLiteral("StatusUpdated"), *StatusUpdated);
    if (Url)
        object.insert(QStringLiteral("Url"), *Url);
    return object;
}

} // namespace tavoren::client
