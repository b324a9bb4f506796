#include "client/core/LogFile.h"

#include "client/core/Constants.h"
#include "shared/LocaleDateTime.h"
#include "shared/SystemLog.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::client {

namespace {

using shared::SystemLog;
using shared::SystemPath;

constexpr std::string_view generatingFailed = "Error in generating log file";
constexpr std::string_view writingFailed = "Error in writing logging";

// Rotations by other writers can make the path name a new file after we
// opened it; a few retries settle every realistic race.
constexpr int maxAttempts = 8;

std::string logPath()
{
    return SystemPath::resolve(std::string_view(Constants::logfilepath.data(),
                                                std::size_t(Constants::logfilepath.size())));
}

// LOG_FILE without its extension, followed by ".1.log".
std::string backupPath()
{
    std::string path = logPath();
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        path.erase(dot);
    return path + ".1.log";
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Every user who prints writes to the one shared log, so a file this
// process creates is made writable for all, whatever the umask.
int openForAppend(const std::string &path)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0 || (errno != ENOENT && errno != EINTR))
            return fd;
        if (errno == EINTR)
            continue;
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::fchmod(fd, 0666);
            return fd;
        }
        if (errno != EEXIST && errno != EINTR)
            return fd;
    }
    return -1;
}

bool lock(int fd, int operation)
{
    while (::flock(fd, operation) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

enum class FileCheck { Same, Replaced, Unreadable };

// Whether the path still names the file behind fd; fills in its status.
FileCheck checkFile(int fd, const std::string &path, struct stat &status)
{
    if (::fstat(fd, &status) != 0)
        return FileCheck::Unreadable;
    struct stat byPath {};
    if (::stat(path.c_str(), &byPath) != 0)
        return FileCheck::Replaced;
    if (byPath.st_dev != status.st_dev || byPath.st_ino != status.st_ino)
        return FileCheck::Replaced;
    return FileCheck::Same;
}

void report(std::string_view message)
{
    SystemLog::instance().write(message);
}

} // namespace

QString LogFile::logFilePath()
{
    return QString::fromStdString(logPath());
}

QString LogFile::backupFilePath()
{
    return QString::fromStdString(backupPath());
}

QString LogFile::formatTimestamp(const QDateTime &when)
{
    return shared::LocaleDateTime::format(when, shared::LocaleDateTime::Style::Long, shared::LocaleDateTime::Style::Medium);
}

QString LogFile::composeLine(LogLevel type, const QString &message, const QString &details,
                             const QDateTime &when)
{
    QString line = levelWord(type) + QLatin1String(" : ") + formatTimestamp(when)
                   + QLatin1String(" Message: ") + message + QLatin1Char(' ');
    if (!details.isEmpty())
        line += QLatin1String(" Details: ") + details;
    return line;
}

void LogFile::write(LogLevel type, const QString &message, const QString &details)
{
    const std::string path = logPath();
    const std::string backup = backupPath();
    // The whole line goes out in one append, so concurrent writers never
    // split each other's lines.
    const QByteArray line = composeLine(type, message, details, QDateTime::currentDateTime()).toUtf8() + '\n';

    for (int attempt = 1;; ++attempt) {
        // Creates the file when it is missing; the folder is never created.
        FileDescriptor fd(openForAppend(path));
        if (!fd.isValid()) {
            report(generatingFailed);
            report(writingFailed);
            return;
        }
        const bool lastAttempt = attempt >= maxAttempts;

        // Appenders share the lock and rotation takes it exclusively, so a
        // line never lands in a file that is being moved away.
        const bool locked = lock(fd.get(), LOCK_SH);
        struct stat status {};
        FileCheck check = checkFile(fd.get(), path, status);
        if (check == FileCheck::Replaced && !lastAttempt)
            continue;

        if (check == FileCheck::Unreadable) {
            report(generatingFailed);
        } else if (status.st_size > sizeLimit) {
            if (locked && !lock(fd.get(), LOCK_EX)) {
                report(generatingFailed);
            } else {
                // The lock was released while converting; another writer may
                // have rotated in the meantime.
                check = checkFile(fd.get(), path, status);
                if (check == FileCheck::Replaced && !lastAttempt)
                    continue;
                if (check == FileCheck::Same && status.st_size > sizeLimit) {
                    // rename() replaces an earlier backup in one step.
                    if (::rename(path.c_str(), backup.c_str()) != 0) {
                        report(generatingFailed);
                    } else {
                        FileDescriptor fresh(openForAppend(path));
                        if (!fresh.isValid())
                            report(generatingFailed);
                        if (!lastAttempt)
                            continue;
                    }
                }
            }
        }

        ssize_t written = -1;
        do {
            written = ::write(fd.get(), line.constData(), std::size_t(line.size()));
        } while (written < 0 && errno == EINTR);
        if (written != ssize_t(line.size()))
            report(writingFailed);
        return;
    }
}

} // namespace tavoren::client
