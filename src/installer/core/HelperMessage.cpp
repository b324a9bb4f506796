#include "installer/core/HelperMessage.h"

#include "installer/core/KYGlobalConstants.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tavoren::installer {

bool HelperMessage::Reply::completedWithSuccess() const
{
    return outcome == QLatin1String("completed") && status == QLatin1String("0");
}

QByteArray HelperMessage::request(const QString &command, const std::optional<QString> &progressFile)
{
    QJsonObject object;
    object.insert(KYGlobalConstants::commandKey, command);
    if (progressFile)
        object.insert(KYGlobalConstants::progressFileKey, *progressFile);
    // Compact JSON escapes line ends, so the request stays one line.
    QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    if (line.size() > KYGlobalConstants::helperRequestLimit)
        return {};
    return line;
}

std::optional<HelperMessage::Reply> HelperMessage::reply(const QByteArray &line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
    }
    return Reply{object.value(KYGlobalConstants::replyKey).toString(), object.value(KYGlobalConstants::outcomeKey).toString(),
                 object.value(KYGlobalConstants::statusKey).toString()};
}

} // namespace tavoren::installer
