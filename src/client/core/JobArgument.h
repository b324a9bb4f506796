#pragma once

#include <QString>
#include <QStringList>

namespace tavoren::client {

// The client's one argument (document name, separator, spooled file path) as
// text: shared::JobArgument does the composing and splitting for every
// program, this only converts at the edge.
class JobArgument
{
public:
    // Split at every separator; piece 0 is the name, piece 1 the path.
    static QStringList pieces(const QString &argument);
    static QString compose(const QString &documentName, const QString &spoolFilePath);
    // The text after the last "." of a document name, empty if none.
    static QString extension(const QString &documentName);
};

} // namespace tavoren::client
