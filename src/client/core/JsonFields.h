#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace tavoren::client {

// Strict, typed reading of the members of one JSON object. The first failure
// is kept as a readable description; later reads then fail as well, so a
// record decodes as a whole or not at all.
class JsonFields
{
public:
    JsonFields(const QJsonObject &object, QString recordName);

    std::int64_t requiredInteger(const QString &key);
    bool requiredBool(const QString &key);
    QString requiredString(const QString &key);
    QJsonArray requiredArray(const QString &key);
    // Absent and null both give no value; any other type is a failure.
    std::optional<QString> optionalString(const QString &key);

    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    void fail(const QString &description);

    // A JSON number that is a whole value within signed 64 bits.
    static std::optional<std::int64_t> integerValue(const QJsonValue &value);

private:
    QJsonValue member(const QString &key, bool required);

    QJsonObject m_object;
    QString m_recordName;
    QString m_error;
};

} // namespace tavoren::client
