#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace tavoren::client {

class JsonFields;

// One document inside a job record of the release service.
struct Document
{
    std::optional<QString> Created;
    std::int64_t DocumentType = 0;
    std::int64_t ErrorCode = 0;
    std::int64_t FileSize = 0;
    std::optional<QString> Name;
    std::int64_t PageCount = 0;
    std::int64_t PdfFileSize = 0;
    std::int64_t Status = 0;
    std::optional<QString> StatusUpdated;
    std::optional<QString> Url;

    // Reads the members into a document; failures are kept in `fields`.
    static Document decode(JsonFields &fields);
    QJsonObject encode() const;

    bool operator==(const Document &) const = default;
};

} // namespace tavoren::client
