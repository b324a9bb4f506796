#include "client/core/SpoolFolder.h"

#include "client/core/Constants.h"
#include "shared/SystemPath.h"

#include <QDir>
#include <QFileInfo>

namespace tavoren::client {

QString SpoolFolder::rootPath()
{
    return QString::fromStdString(shared::SystemPath::resolve(QString(Constants::spoolRoot).toStdString()));
}

std::optional<QString> SpoolFolder::jobFolderOf(const QString &filePath)
{
    if (!QDir::isAbsolutePath(filePath))
        return std::nullopt;
    // "." and ".." would let a lexical parent differ from the real one.
    const QStringList components = filePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.isEmpty() || components.contains(QStringLiteral(".")) || components.contains(QStringLiteral("..")))
        return std::nullopt;

    const QString root = QFileInfo(rootPath()).canonicalFilePath();
    if (root.isEmpty())
        return std::nullopt;

    const QFileInfo file(filePath);
    const QString folder = file.absolutePath();
    const QFileInfo folderInfo(folder);
    if (folderInfo.isSymLink() || !folderInfo.isDir())
        return std::nullopt;
    const QString canonicalFolder = folderInfo.canonicalFilePath();
    if (canonicalFolder.isEmpty() || QFileInfo(canonicalFolder).absolutePath() != root)
        return std::nullopt;

    if (file.exists() || file.isSymLink()) {
        const QString canonicalFile = file.canonicalFilePath();
        if (canonicalFile.isEmpty() || QFileInfo(canonicalFile).absolutePath() != canonicalFolder)
            return std::nullopt;
    }
    return folder;
}

} // namespace tavoren::client
