#include "client/core/ResourceFolder.h"

#include <QCoreApplication>
#include <QDir>

#include <mutex>

namespace tavoren::client {

namespace {
std::mutex g_mutex;
QString g_override;
} // namespace

QString ResourceFolder::path()
{
    {
        std::lock_guard lock(g_mutex);
        if (!g_override.isEmpty())
            return g_override;
    }
    // The executable sits in Contents/MacOS, its resources in Contents/Resources.
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1String("/../Resources"));
}

void ResourceFolder::setPath(const QString &path)
{
    std::lock_guard lock(g_mutex);
    g_override = path.isEmpty() ? QString() : QDir::cleanPath(path);
}

} // namespace tavoren::client
