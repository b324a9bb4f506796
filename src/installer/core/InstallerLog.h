#pragma once

#include "installer/core/WorkingFolder.h"
#include "shared/Expected.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>

namespace tavoren::shared {
class Clock;
class SystemLog;
}

namespace tavoren::installer {

// The installer's own log: every line goes to the system console, to an
// in-memory copy for the log window, and to the log file in the working
// folder. Lines come from the main thread and from background threads; one
// writer at a time keeps them whole.
class InstallerLog
{
public:
    // Where the log file lives and how large it may grow before a start
    // deletes it.
    struct Settings
    {
        std::string workingFolder;
        std::uint64_t sizeLimit = 0;
    };

    // The console is `systemLog`; `clock` stamps the lines. Both outlive
    // the log.
    InstallerLog(Settings settings, shared::SystemLog &systemLog, const shared::Clock &clock);

    // Opens the working folder (making it when missing), deletes a log file
    // over the size limit and writes the start banner.
    void initLogFile();
    void WriteLog(const QString &message);
    // A line for the console alone.
    void console(const QString &message);

    // Every message of this run, each followed by a line end, no stamps.
    QString internalLog() const;
    // The working folder, once initLogFile has accepted it. Refused then, it
    // is looked at again on each call and each line: the helper tool, as
    // root, puts a usable one in place of another user's.
    std::shared_ptr<const WorkingFolder> workingFolder() const;

    // "MESSAGE" as the file holds it: stamped with the short date and time
    // of the user's locale, except the banner.
    static QString fileLine(const QString &message, const QDateTime &when);
    static QString banner(const QDateTime &when);

    // What the capture of the system install log holds; an Error when it
    // cannot be read.
    shared::Expected<QString> capturedInstallLog() const;
    // The log window's text: this run's lines and the capture.
    QString logFileData(const QString &capture) const;
    // The log window's filter: the lines that contain `text` (case
    // sensitive), each after a line end; texts shorter than 2 characters
    // give the whole text back.
    static QString filterLog(const QString &logFileData, const QStringList &allLines, const QString &text);

private:
    // With m_mutex held.
    std::shared_ptr<const WorkingFolder> folderLocked() const;

    Settings m_settings;
    shared::SystemLog &m_systemLog;
    const shared::Clock &m_clock;
    mutable std::mutex m_mutex;
    QString m_internalLog;
    bool m_initialised = false;
    mutable std::shared_ptr<const WorkingFolder> m_folder;
};

} // namespace tavoren::installer
