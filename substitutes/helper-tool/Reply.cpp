#include "helper-tool/Reply.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tavoren::helpertool {

Reply Reply::completed(int status, std::string text)
{
    return {Outcome::Completed, status, std::move(text)};
}

Reply Reply::refused(const std::string &reason)
{
    return {Outcome::Refused, 0, "Refused: " + reason};
}

Reply Reply::failed(const std::string &reason)
{
    return {Outcome::Failed, 0, "Failed: " + reason};
}

const char *Reply::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Completed:
        return "completed";
    case Outcome::Refused:
        return "refused";
    case Outcome::Failed:
        break;
    }
    return "failed";
}

std::string Reply::toLine() const
{
    QJsonObject object{
        {QStringLiteral("reply"), QString::fromStdString(text)},
        {QStringLiteral("outcome"), QString::fromLatin1(outcomeName(outcome))},
    };
    if (outcome == Outcome::Completed)
        object.insert(QStringLiteral("status"), QString::number(status));
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

shared::Error Reply::refusal(std::string reason)
{
    return shared::Error::because("accept", "the request", std::move(reason));
}

} // namespace tavoren::helpertool
