#include "installer/core/InstallerLog.h"

#include "installer/core/KYGlobalConstants.h"
#include "shared/LocaleDateTime.h"
#include "shared/SystemLog.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::installer {

namespace {
// The capture holds what the system's install log got during one
// installation; anything larger is not read into the log window.
constexpr off_t captureLimit = 64 * 1024 * 1024;

const QLatin1String bannerMark("Initiated Corvane Tavoren Driver");

void console(const QString &message)
{
    shared::SystemLog::instance().write(message.toStdString());
}

QString stamp(const QDateTime &when)
{
    return shared::LocaleDateTime::format(when, shared::LocaleDateTime::Style::Short,
                                          shared::LocaleDateTime::Style::Short);
}

} // namespace

InstallerLog::InstallerLog()
    : InstallerLog(Settings{shared::SystemPath::resolve(KYGlobalConstants::workingFolder),
                            KYGlobalConstants::logFileSizeLimit, {}})
{
}

InstallerLog::InstallerLog(Settings settings)
    : m_settings(std::move(settings))
{
    if (!m_settings.clock)
        m_settings.clock = [] { return QDateTime::currentDateTime(); };
}

QString InstallerLog::fileLine(const QString &message, const QDateTime &when)
{
    if (message.contains(bannerMark))
        return message;
    return stamp(when) + QLatin1String(" : ") + message;
}

QString InstallerLog::banner(const QDateTime &when)
{
    const QString row(32, QLatin1Char('#'));
    return QLatin1Char('\n') + row + QLatin1Char('\n') + bannerMark + QLatin1String(" at ") + stamp(when)
           + QLatin1Char('\n') + row;
}

void InstallerLog::initLogFile()
{
    {
        std::lock_guard lock(m_mutex);
        m_internalLog.clear();
    }
    WorkingFolder::Creation creation = WorkingFolder::Creation::Existed;
    std::string problem;
    auto folder = WorkingFolder::open(m_settings.workingFolder, &creation, &problem);
    if (creation == WorkingFolder::Creation::Failed)
        WriteLog(QLatin1String("Error: Create folder failed ") + QLatin1String(KYGlobalConstants::workingFolder));
    if (!folder) {
        if (creation != WorkingFolder::Creation::Failed)
            WriteLog(QLatin1String("Error: Refusing the working folder ") + QLatin1String(KYGlobalConstants::workingFolder)
                     + QLatin1String(": ") + QString::fromStdString(problem));
    } else {
        std::lock_guard lock(m_mutex);
        m_folder = std::make_shared<const WorkingFolder>(std::move(*folder));
    }
    {
        std::lock_guard lock(m_mutex);
        m_initialised = true;
    }

    const auto accepted = workingFolder();
    const auto existing = accepted ? accepted->status(KYGlobalConstants::logFileName) : std::nullopt;
    const std::uint64_t size = existing ? std::uint64_t(existing->st_size) : 0;
    console(QStringLiteral("Existing Log file size: %1").arg(size));
    if (size > m_settings.sizeLimit && accepted->remove(KYGlobalConstants::logFileName))
        WriteLog(QStringLiteral("Deleted existing log file as it exceeded size limit!"));
    WriteLog(banner(m_settings.clock()));
}

void InstallerLog::WriteLog(const QString &message)
{
    std::lock_guard lock(m_mutex);
    console(message);
    m_internalLog += message + QLatin1Char('\n');
    const auto folder = folderLocked();
    if (!folder)
        return;
    const shared::Descriptor file = folder->openForAppend(KYGlobalConstants::logFileName);
    if (!file)
        return;
    // One write per line: lines of another installer process stay whole too.
    const QByteArray line = (fileLine(message, m_settings.clock()) + QLatin1Char('\n')).toUtf8();
    file.writeAll(std::string_view(line.constData(), std::size_t(line.size())));
}

QString InstallerLog::internalLog() const
{
    std::lock_guard lock(m_mutex);
    return m_internalLog;
}

std::shared_ptr<const WorkingFolder> InstallerLog::workingFolder() const
{
    std::lock_guard lock(m_mutex);
    return folderLocked();
}

std::shared_ptr<const WorkingFolder> InstallerLog::folderLocked() const
{
    if (!m_folder && m_initialised) {
        WorkingFolder::Creation creation = WorkingFolder::Creation::Existed;
        std::string problem;
        if (auto folder = WorkingFolder::open(m_settings.workingFolder, &creation, &problem))
            m_folder = std::make_shared<const WorkingFolder>(std::move(*folder));
    }
    return m_folder;
}

QString InstallerLog::logFileData(bool *captureFound) const
{
    *captureFound = false;
    QByteArray bytes;
    const auto folder = workingFolder();
    const shared::Descriptor capture = folder ? folder->openForReading(KYGlobalConstants::captureFileName)
                                              : shared::Descriptor();
    struct stat status{};
    if (capture && ::fstat(capture.get(), &status) == 0 && status.st_size <= captureLimit) {
        bytes = QByteArray(qsizetype(status.st_size), Qt::Uninitialized);
        qsizetype done = 0;
        *captureFound = true;
        while (done < bytes.size()) {
            const ssize_t count = ::read(capture.get(), bytes.data() + done, std::size_t(bytes.size() - done));
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0) {
                *captureFound = count == 0;
                break;
            }
            done += count;
        }
        bytes.truncate(done);
    }
    if (!*captureFound)
        bytes.clear();
    return QLatin1String("Wrapper Application Logs:\n") + internalLog() + QLatin1String("\n\n\nInstaller Logs:\n")
           + QString::fromUtf8(bytes);
}

QString InstallerLog::filterLog(const QString &logFileData, const QStringList &allLines, const QString &text)
{
    if (text.size() < 2)
        return logFileData;
    QString result;
    for (const QString &line : allLines) {
        if (line.contains(text, Qt::CaseSensitive))
            result += QLatin1Char('\n') + line;
    }
    return result;
}

} // namespace tavoren::installer
