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
#include <system_error>
#include <unistd.h>

namespace tavoren::client {

namespace {
QString errorText(int error)
{
    return QString::fromStdString(std::system_category().message(error));
}

// The spool root and the job folder, opened; the names of the job folder
// and the file as the job argument gives them.
struct OpenJob
{
    shared::Descriptor root;
    shared::Descriptor folder;
    QByteArray folderName;
    QByteArray fileName;
};

std::optional<OpenJob> openJob(const QString &filePath, QString *problem)
{
    // Lexically: the root, one job folder, one file; nothing to resolve.
    const QString root = SpoolFolder::rootPath();
    const QString prefix = root + QLatin1Char('/');
    const QStringList names = filePath.startsWith(prefix) ? filePath.mid(prefix.size()).split(QLatin1Char('/'))
                                                          : QStringList();
    if (names.size() != 2 || names.contains(QString()) || names.contains(QStringLiteral("."))
        || names.contains(QStringLiteral(".."))) {
        *problem = QStringLiteral("not a file of a job folder directly below the spool root");
        return std::nullopt;
    }
    OpenJob job;
    job.folderName = QFile::encodeName(names.at(0));
    job.fileName = QFile::encodeName(names.at(1));
    job.root.reset(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!job.root) {
        *problem = QStringLiteral("the spool root cannot be opened: ") + errorText(errno);
        return std::nullopt;
    }
    job.folder.reset(::openat(job.root.get(), job.folderName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status{};
    if (!job.folder || ::fstat(job.folder.get(), &status) != 0) {
        *problem = QStringLiteral("the job folder cannot be opened: ") + errorText(errno);
        return std::nullopt;
    }
    if (status.st_uid != ::geteuid() && status.st_uid != 0) {
        *problem = QStringLiteral("the job folder belongs to another user");
        return std::nullopt;
    }
    return job;
}
} // namespace

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

bool SpoolFolder::removeJobFolder(const QString &filePath, QString *problem)
{
    const auto job = openJob(filePath, problem);
    if (!job)
        return false;
    const auto names = shared::FileTree::names(job->folder.get());
    if (!names) {
        *problem = QStringLiteral("the job folder cannot be listed: ") + errorText(names.error().code);
        return false;
    }
    for (const std::string &name : *names) {
        if (auto removed = shared::FileTree::removeAt(job->folder.get(), name, name); !removed) {
            *problem = QString::fromStdString(removed.error().description());
            return false;
        }
    }
    // A link put in the folder's place meanwhile is not a folder: nothing goes.
    if (::unlinkat(job->root.get(), job->folderName.constData(), AT_REMOVEDIR) != 0) {
        *problem = QStringLiteral("the job folder cannot be removed: ") + errorText(errno);
        return false;
    }
    return true;
}

bool SpoolFolder::removeSpoolFile(const QString &filePath, QString *problem)
{
    const auto job = openJob(filePath, problem);
    if (!job)
        return false;
    if (::unlinkat(job->folder.get(), job->fileName.constData(), 0) != 0) {
        *problem = QStringLiteral("the spool file cannot be removed: ") + errorText(errno);
        return false;
    }
    return true;
}

} // namespace tavoren::client
