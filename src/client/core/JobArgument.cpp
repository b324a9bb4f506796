#include "client/core/JobArgument.h"

namespace tavoren::client {

QStringList JobArgument::pieces(const QString &argument)
{
    return argument.split(separator);
}

QString JobArgument::compose(const QString &documentName, const QString &spoolFilePath)
{
    return documentName + separator + spoolFilePath;
}

QString JobArgument::extension(const QString &documentName)
{
    const qsizetype dot = documentName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : documentName.mid(dot + 1);
}

} // namespace tavoren::client
