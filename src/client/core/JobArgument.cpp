#include "client/core/JobArgument.h"

#include "shared/JobArgument.h"

namespace tavoren::client {

namespace {
QString text(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

std::string bytes(const QString &text)
{
    return text.toUtf8().toStdString();
}
} // namespace

QStringList JobArgument::pieces(const QString &argument)
{
    QStringList result;
    for (const std::string &piece : shared::JobArgument::pieces(bytes(argument)))
        result.append(text(piece));
    return result;
}

QString JobArgument::compose(const QString &documentName, const QString &spoolFilePath)
{
    return text(shared::JobArgument::compose(bytes(documentName), bytes(spoolFilePath)));
}

QString JobArgument::extension(const QString &documentName)
{
    return text(shared::JobArgument::extension(bytes(documentName)));
}

} // namespace tavoren::client
