#include "helper-tool/HelperRequest.h"

#include "helper-tool/Reply.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tavoren::helpertool {

shared::Expected<HelperRequest> HelperRequest::parse(std::string_view line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(line.data(), qsizetype(line.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return Reply::refusal("the request is not a JSON object");
    const QJsonObject object = document.object();
    HelperRequest request;
    bool hasCommand = false;
    for (auto member = object.begin(); member != object.end(); ++member) {
        const std::string name = member.key().toStdString();
        if (name != commandMember && name != progressMember)
            return Reply::refusal("unknown member \"" + name.substr(0, 64) + "\"");
        if (!member.value().isString())
            return Reply::refusal("the member \"" + name + "\" is not a string");
        const std::string value = member.value().toString().toStdString();
        if (name == commandMember) {
            request.command = value;
            hasCommand = true;
        } else {
            request.progressPath = value;
        }
    }
    if (!hasCommand)
        return Reply::refusal(std::string("the member \"") + commandMember + "\" is missing");
    return request;
}

} // namespace tavoren::helpertool
