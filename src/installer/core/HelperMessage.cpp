#include "installer/core/HelperMessage.h"

#include "shared/HelperProtocol.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tavoren::installer {

namespace {
using Protocol = shared::HelperProtocol;

QString member(const char *name)
{
    return QString::fromLatin1(name);
}
} // namespace

bool HelperMessage::Reply::completed() const
{
    return outcome == QLatin1String(Protocol::completed);
}

bool HelperMessage::Reply::completedWithSuccess() const
{
    return completed() && status == QLatin1String("0");
}

shared::Expected<QByteArray> HelperMessage::request(const QString &command, const std::optional<QString> &progressFile)
{
    QJsonObject object;
    object.insert(member(Protocol::commandMember), command);
    if (progressFile)
        object.insert(member(Protocol::progressMember), *progressFile);
    // Compact JSON escapes line ends, so the request stays one line.
    QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    if (std::size_t(line.size()) > Protocol::maximumRequest)
        return shared::Error::because("send", "the request", "it is larger than the helper takes");
    return line;
}

shared::Expected<HelperMessage::Reply> HelperMessage::reply(const QByteArray &line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return shared::Error::because("read", "the reply", "it is not a JSON object");
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString())
            return shared::Error::because("read", "the reply", "its members are not all texts");
    }
    return Reply{object.value(member(Protocol::replyMember)).toString(),
                 object.value(member(Protocol::outcomeMember)).toString(),
                 object.value(member(Protocol::statusMember)).toString()};
}

} // namespace tavoren::installer
