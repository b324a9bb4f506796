#include "client/core/LogFile.h"

#include "client/core/Constants.h"
#include "shared/Descriptor.h"
#include "shared/FolderFile.h"
#include "shared/LocaleDateTime.h"
#include "shared/PathName.h"
#include "shared/SystemLog.h"
#include "shared/SystemPath.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <initializer_list>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tavoren::client {

namespace {

using shared::Descriptor;
using shared::SystemPath;
using Clock = std::chrono::steady_clock;

constexpr std::string_view generatingFailed = "Error in generating log file";
constexpr std::string_view writingFailed = "Error in writing logging";

// Someone removing the log between our open and our lock makes us open it
// again; a few attempts settle every realistic race.
constexpr int maxAttempts = 8;
// Every user who prints writes to the one shared log and its backup.
constexpr mode_t sharedMode = 0666;

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

// The log and its backup are every printing user's: whoever made them,
// each writer appends, and reads to copy where the mode allows.
Descriptor openShared(int folderFd, const std::string &name)
{
    auto opened = shared::FolderFile::openForAppend(
        folderFd, name, {.mode = sharedMode, .owner = shared::FolderFile::Owner::Anyone, .readToo = true});
    return opened ? std::move(*opened) : Descriptor();
}

enum class Hold { Append, Rotate, None };

// Takes the lock the line needs, chosen by the file's size under the lock:
// shared to append, exclusive to rotate a file over the limit. A writer
// stops asking for the exclusive lock once another has rotated, so a stream
// of appenders cannot starve it. Nobody waits past `deadline`: a process
// that holds the lock forever, stuck or hostile, must not hold up the client.
Hold lockForLine(int fd, Clock::time_point deadline, off_t &size)
{
    // Short pauses: honest holders keep the lock for a write or a copy of
    // about a megabyte.
    std::chrono::microseconds pause(100);
    for (;;) {
        struct stat status{};
        if (::fstat(fd, &status) != 0)
            return Hold::None;
        const bool over = status.st_size > LogFile::sizeLimit;
        if (::flock(fd, (over ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
            if (::fstat(fd, &status) != 0)
                return Hold::None;
            if (status.st_size <= LogFile::sizeLimit)
                return Hold::Append;
            if (over) {
                size = status.st_size;
                return Hold::Rotate;
            }
            // Grown past the limit meanwhile: the exclusive lock is needed.
            ::flock(fd, LOCK_UN);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return Hold::None;
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return Hold::None;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(2));
    }
}

// Whether the folder's entry still names the open file, which someone may
// have removed meanwhile.
bool stillNamed(int folderFd, const std::string &name, int fd)
{
    struct stat status{};
    struct stat entry{};
    return ::fstat(fd, &status) == 0 && ::fstatat(folderFd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0
           && entry.st_dev == status.st_dev && entry.st_ino == status.st_ino;
}

// Copies the log, `size` bytes long, into the emptied backup. Of a log
// past backupLimit only the newest whole lines within it are copied, so a
// log inflated by someone (even a sparse file of terabytes) costs a
// bounded copy.
bool backUp(int folderFd, const std::string &name, int logFd, off_t size)
{
    const Descriptor backup = openShared(folderFd, name);
    if (!backup || ::ftruncate(backup.get(), 0) != 0)
        return false;
    // Past the limit, reading starts one byte early: a line that starts
    // right at the window is kept whole.
    bool inPartialLine = size > LogFile::backupLimit;
    off_t offset = inPartialLine ? size - off_t(LogFile::backupLimit) - 1 : 0;
    std::string buffer(64 * 1024, '\0');
    while (offset < size) {
        const std::size_t wanted = std::size_t(std::min<off_t>(off_t(buffer.size()), size - offset));
        const ssize_t got = ::pread(logFd, buffer.data(), wanted, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break; // emptied by someone meanwhile
        offset += got;
        std::string_view chunk(buffer.data(), std::size_t(got));
        if (inPartialLine) {
            const std::size_t end = chunk.find('\n');
            if (end == std::string_view::npos)
                continue;
            chunk.remove_prefix(end + 1);
            inPartialLine = false;
        }
        if (!backup.writeAll(chunk))
            return false;
    }
    return true;
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

QString LogFile::escapeControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QLatin1String("\\\\");
        else if (u == u'\n')
            out += QLatin1String("\\n");
        else if (u == u'\r')
            out += QLatin1String("\\r");
        else if (u == u'\t')
            out += QLatin1String("\\t");
        else if (u < 0x20 || (u >= 0x7f && u <= 0x9f))
            out += QLatin1String("\\x") + QString::number(u, 16).rightJustified(2, QLatin1Char('0'));
        else if (u == 0x2028 || u == 0x2029)
            out += QLatin1String("\\u") + QString::number(u, 16);
        else
            out += c;
    }
    return out;
}

QString LogFile::composeLine(LogLevel type, const QString &message, const QString &details,
                             const QDateTime &when)
{
    QString line = levelWord(type) + QLatin1String(" : ") + formatTimestamp(when)
                   + QLatin1String(" Message: ") + escapeControls(message) + QLatin1Char(' ');
    if (!details.isEmpty())
        line += QLatin1String(" Details: ") + escapeControls(details);
    return line;
}

void LogFile::write(shared::SystemLog &systemLog, LogLevel type, const QString &message, const QString &details)
{
    const auto report = [&systemLog](std::string_view text) { systemLog.write(text); };
    const QByteArray line = composeLine(type, message, details, QDateTime::currentDateTime()).toUtf8() + '\n';
    // A line the file cannot take goes to the system log after the reasons.
    const auto divert = [&line, &report](std::initializer_list<std::string_view> reasons) {
        for (const std::string_view reason : reasons)
            report(reason);
        report(std::string_view(line.constData(), std::size_t(line.size() - 1)));
    };

    const std::string path = logPath();
    // The folder is never created, nor reached through a link.
    const Descriptor folder(::open(shared::PathName::parent(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) {
        divert({generatingFailed, writingFailed});
        return;
    }
    const std::string logName = shared::PathName::lastComponent(path);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(lockWaitMilliseconds);

    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        const Descriptor log = openShared(folder.get(), logName);
        if (!log) {
            divert({generatingFailed, writingFailed});
            return;
        }
        // Appenders share the lock and rotation takes it exclusively, so a
        // line never lands in the file while it is copied and emptied.
        off_t size = 0;
        const Hold hold = lockForLine(log.get(), deadline, size);
        if (hold == Hold::None) {
            divert({writingFailed});
            return;
        }
        if (!stillNamed(folder.get(), logName, log.get()))
            continue;

        if (hold == Hold::Rotate) {
            // Copy and empty in place rather than rename: in the sticky
            // folder only the owner may rename or remove a file, and
            // whoever owns the log or the backup, every writer can do this.
            // Emptied even without a backup, so the size holds.
            const bool backedUp = backUp(folder.get(), shared::PathName::lastComponent(backupPath()), log.get(), size);
            const bool emptied = ::ftruncate(log.get(), 0) == 0;
            if (!backedUp || !emptied)
                report(generatingFailed);
            if (!emptied) {
                divert({writingFailed});
                return;
            }
        }

        // The whole line in one append, so concurrent writers never split
        // each other's lines.
        ssize_t written = -1;
        do {
            written = ::write(log.get(), line.constData(), std::size_t(line.size()));
        } while (written < 0 && errno == EINTR);
        if (written != ssize_t(line.size()))
            divert({writingFailed});
        return;
    }
    divert({generatingFailed, writingFailed});
}

} // namespace tavoren::client
