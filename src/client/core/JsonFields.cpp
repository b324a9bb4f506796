#include "client/core/JsonFields.h"

#include <cmath>

namespace tavoren::client {

JsonFields::JsonFields(const QJsonObject &object, QString recordName)
    : m_object(object)
    , m_recordName(std::move(recordName))
{
}

void JsonFields::fail(const QString &description)
{
    if (m_error.isEmpty())
        m_error = description;
}

QJsonValue JsonFields::member(const QString &key, bool required)
{
    if (!ok())
        return QJsonValue(QJsonValue::Undefined);
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it->isNull()) {
        if (required)
            fail(QStringLiteral("The %1 record lacks the required member \"%2\".").arg(m_recordName, key));
        return QJsonValue(QJsonValue::Undefined);
    }
    return *it;
}

std::optional<std::int64_t> JsonFields::integerValue(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong)
        return variant.toLongLong();
    const double number = value.toDouble();
    // 2^63 itself is out of range; everything below it converts exactly.
    if (std::isfinite(number) && std::trunc(number) == number && number >= -9223372036854775808.0
        && number < 9223372036854775808.0)
        return static_cast<std::int64_t>(number);
    return std::nullopt;
}

std::int64_t JsonFields::requiredInteger(const QString &key)
{
    const QJsonValue value = member(key, true);
    if (!ok())
        return 0;
    if (const auto number = integerValue(value))
        return *number;
    fail(QStringLiteral("The member \"%1\" of the %2 record is not an integer.").arg(key, m_recordName));
    return 0;
}

bool JsonFields::requiredBool(const QString &key)
{
    const QJsonValue value = member(key, true);
    if (!ok())
        return false;
    if (value.isBool())
        return value.toBool();
    fail(QStringLiteral("The member \"%1\" of the %2 record is not a Boolean.").arg(key, m_recordName));
    return false;
}

QString JsonFields::requiredString(const QString &key)
{
    const QJsonValue value = member(key, true);
    if (!ok())
        return {};
    if (value.isString())
        return value.toString();
    fail(QStringLiteral("The member \"%1\" of the %2 record is not a text.").arg(key, m_recordName));
    return {};
}

QJsonArray JsonFields::requiredArray(const QString &key)
{
    const QJsonValue value = member(key, true);
    if (!ok())
        return {};
    if (value.isArray())
        return value.toArray();
    fail(QStringLiteral("The member \"%1\" of the %2 record is not an array.").arg(key, m_recordName));
    return {};
}

std::optional<QString> JsonFields::optionalString(const QString &key)
{
    const QJsonValue value = member(key, false);
    if (!ok() || value.isUndefined())
        return std::nullopt;
    if (value.isString())
        return value.toString();
    fail(QStringLiteral("The member \"%1\" of the %2 record is not a text.").arg(key, m_recordName));
    return std::nullopt;
}

} // namespace tavoren::client
