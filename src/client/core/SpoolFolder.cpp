#include "client/core/SpoolFolder.h"

#include "client/core/Constants.h"
#include "shared/Descriptor.h"
#include "shared/FileTree.h"
#include "shared/SystemPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::client {

namespace {
// The spool root and the job folder, opened; the names of the job folder
// and the file as the job argument gives them.
struct OpenJob
{
    shared::Descriptor root;
    shared::Descriptor folder;
    QByteArray folderName;
    QByteArray fileName;
};

std::string text(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

shared::Expected<OpenJob> openJob(const QString &filePath)
{
    // Lexically: the root, one job folder, one file; nothing to resolve.
    const QString root = SpoolFolder::rootPath();
    const QString prefix = root + QLatin1Char('/');
    const QStringList names = filePath.startsWith(prefix) ? filePath.mid(prefix.size()).split(QLatin1Char('/'))
                                                          : QStringList();
    if (names.size() != 2 || names.contains(QString()) || names.contains(QStringLiteral("."))
        || names.contains(QStringLiteral(".."))) {
        return shared::Error::because("remove", text(filePath),
                                      "not a file of a job folder directly below the spool root");
    }
    OpenJob job;
    job.folderName = QFile::encodeName(names.at(0));
    job.fileName = QFile::encodeName(names.at(1));
    job.root.reset(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!job.root)
        return shared::Error::system("open the spool root", text(root));
    job.folder.reset(::openat(job.root.get(), job.folderName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status{};
    if (!job.folder || ::fstat(job.folder.get(), &status) != 0)
        return shared::Error::system("open the job folder", job.folderName.toStdString());
    if (status.st_uid != ::geteuid() && status.st_uid != 0)
        return shared::Error::because("remove", job.folderName.toStdString(), "the job folder belongs to another user");
    return job;
}

shared::Error notAJobFile(const QString &filePath, const char *why)
{
    return shared::Error::because("find the job folder of", text(filePath), why);
}
} // namespace

QString SpoolFolder::rootPath()
{
    return QString::fromStdString(shared::SystemPath::resolve(QString(Constants::spoolRoot).toStdString()));
}

shared::Expected<QString> SpoolFolder::jobFolderOf(const QString &filePath)
{
    if (!QDir::isAbsolutePath(filePath))
        return notAJobFile(filePath, "the path is not absolute");
    // "." and ".." would let a lexical parent differ from the real one.
    const QStringList components = filePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.isEmpty() || components.contains(QStringLiteral(".")) || components.contains(QStringLiteral("..")))
        return notAJobFile(filePath, "the path has no name or a \".\" or \"..\" in it");

    const QString root = QFileInfo(rootPath()).canonicalFilePath();
    if (root.isEmpty())
        return notAJobFile(filePath, "the spool root is missing");

    const QFileInfo file(filePath);
    const QString folder = file.absolutePath();
    const QFileInfo folderInfo(folder);
    if (folderInfo.isSymLink() || !folderInfo.isDir())
        return notAJobFile(filePath, "its folder is a link or no folder");
    const QString canonicalFolder = folderInfo.canonicalFilePath();
    if (canonicalFolder.isEmpty() || QFileInfo(canonicalFolder).absolutePath() != root)
        return notAJobFile(filePath, "its folder is not directly below the spool root");

    if (file.exists() || file.isSymLink()) {
        const QString canonicalFile = file.canonicalFilePath();
        if (canonicalFile.isEmpty() || QFileInfo(canonicalFile).absolutePath() != canonicalFolder)
            return notAJobFile(filePath, "the file is a link that leads out of its folder");
    }
    return folder;
}

shared::Expected<void> SpoolFolder::removeJobFolder(const QString &filePath)
{
    auto job = openJob(filePath);
    if (!job)
        return job.error();
    auto names = shared::FileTree::names(job->folder.get());
    if (!names)
        return names.error();
    for (const std::string &name : *names) {
        if (auto removed = shared::FileTree::removeAt(job->folder.get(), name, name); !removed)
            return removed.error();
    }
    // A link put in the folder's place meanwhile is not a folder: nothing goes.
    if (::unlinkat(job->root.get(), job->folderName.constData(), AT_REMOVEDIR) != 0)
        return shared::Error::system("remove the job folder", job->folderName.toStdString());
    return {};
}

shared::Expected<void> SpoolFolder::removeSpoolFile(const QString &filePath)
{
    auto job = openJob(filePath);
    if (!job)
        return job.error();
    if (::unlinkat(job->folder.get(), job->fileName.constData(), 0) != 0)
        return shared::Error::system("remove the spool file", text(filePath));
    return {};
}

} // namespace tavoren::client
