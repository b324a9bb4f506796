#include "client/core/ResourceFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace tavoren::client {

QString ResourceFolder::path()
{
    // The executable sits in Contents/MacOS, its resources in Contents/Resources.
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1String("/../Resources"));
}

} // namespace tavoren::client
