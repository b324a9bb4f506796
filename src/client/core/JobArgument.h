#pragma once

#include "shared/HandOff.h"

#include <QLatin1String>
#include <QString>
#include <QStringList>

namespace tavoren::client {

// The client's one argument: document name, ":: ::", spooled file path.
class JobArgument
{
public:
    static constexpr QLatin1String separator{shared::HandOff::jobArgumentSeparator};

    // Split at every separator; piece 0 is the name, piece 1 the path.
    static QStringList pieces(const QString &argument);
    static QString compose(const QString &documentName, const QString &spoolFilePath);
    // The text after the last "." of a document name, empty if none.
    static QString extension(const QString &documentName);
};

} // namespace tavoren::client
