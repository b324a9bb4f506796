#include "installer/core/InstallerLog.h"

#include "installer/core/KYGlobalConstants.h"
#include "shared/Clock.h"
#include "shared/HelperProtocol.h"
#include "shared/LocaleDateTime.h"
#include "shared/SystemLog.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::installer {

namespace {

// The clock's wall time as the local date and time the lines are stamped with.
QDateTime localNow(const shared::Clock &clock)
{
    return QDateTime::fromMSecsSinceEpoch(clock.wallNow().time_since_epoch().count());
}

// The capture holds what the system's install log got during one
// installation; anything larger is not read into the log window.
constexpr off_t captureLimit = 64 * 1024 * 1024;

const QLatin1String bannerMark("Initiated Corvane Tavoren Driver");
const QLatin1String folderName(shared::HelperProtocol::workingFolder);

QString stamp(const QDateTime &when)
{
    return shared::LocaleDateTime::format(when, shared::LocaleDateTime::Style::Short,
                                          shared::LocaleDateTime::Style::Short);
}

shared::Expected<QByteArray> readWhole(const shared::Descriptor &file)
{
    struct stat status{};
    if (::fstat(file.get(), &status) != 0)
        return shared::Error::system("examine", KYGlobalConstants::captureFileName);
    if (status.st_size > captureLimit)
        return shared::Error::system("read", KYGlobalConstants::captureFileName, EFBIG);
    QByteArray bytes(qsizetype(status.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::read(file.get(), bytes.data() + done, std::size_t(bytes.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return shared::Error::system("read", KYGlobalConstants::captureFileName);
        if (count == 0)
            break;
        done += count;
    }
    bytes.truncate(done);
    return bytes;
}
} // namespace

InstallerLog::InstallerLog(Settings settings, shared::SystemLog &systemLog, const shared::Clock &clock)
    : m_settings(std::move(settings))
    , m_systemLog(systemLog)
    , m_clock(clock)
{
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

void InstallerLog::console(const QString &message)
{
    m_systemLog.write(message.toStdString());
}

void InstallerLog::initLogFile()
{
    {
        std::lock_guard lock(m_mutex);
        m_internalLog.clear();
    }
    auto folder = WorkingFolder::open(m_settings.workingFolder);
    if (!folder && folder.error().action == WorkingFolder::createAction)
        WriteLog(QLatin1String("Error: Create folder failed ") + folderName);
    else if (!folder)
        WriteLog(QLatin1String("Error: Refusing the working folder ") + folderName + QLatin1String(": ")
                 + QString::fromStdString(folder.error().text));
    {
        std::lock_guard lock(m_mutex);
        if (folder)
            m_folder = std::make_shared<const WorkingFolder>(std::move(*folder));
        m_initialised = true;
    }

    const auto accepted = workingFolder();
    const auto existing = accepted ? accepted->status(KYGlobalConstants::logFileName) : std::nullopt;
    const std::uint64_t size = existing ? std::uint64_t(existing->st_size) : 0;
    console(QStringLiteral("Existing Log file size: %1").arg(size));
    if (size > m_settings.sizeLimit && accepted->remove(KYGlobalConstants::logFileName))
        WriteLog(QStringLiteral("Deleted existing log file as it exceeded size limit!"));
    WriteLog(banner(localNow(m_clock)));
}

void InstallerLog::WriteLog(const QString &message)
{
    std::lock_guard lock(m_mutex);
    console(message);
    m_internalLog += message + QLatin1Char('\n');
    const auto folder = folderLocked();
    if (!folder)
        return;
    const auto file = folder->openForAppend(KYGlobalConstants::logFileName);
    if (!file)
        return;
    // One write per line: lines of another installer process stay whole too.
    const QByteArray line = (fileLine(message, localNow(m_clock)) + QLatin1Char('\n')).toUtf8();
    file->writeAll(std::string_view(line.constData(), std::size_t(line.size())));
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
        if (auto folder = WorkingFolder::open(m_settings.workingFolder))
            m_folder = std::make_shared<const WorkingFolder>(std::move(*folder));
    }
    return m_folder;
}

shared::Expected<QString> InstallerLog::capturedInstallLog() const
{
    const auto folder = workingFolder();
    if (!folder)
        return shared::Error::because("read", KYGlobalConstants::captureFileName, "there is no working folder");
    const auto capture = folder->openForReading(KYGlobalConstants::captureFileName);
    if (!capture)
        return capture.error();
    auto bytes = readWhole(*capture);
    if (!bytes)
        return bytes.error();
    return QString::fromUtf8(*bytes);
}

QString InstallerLog::logFileData(const QString &capture) const
{
    return QLatin1String("Wrapper Application Logs:\n") + internalLog() + QLatin1String("\n\n\nInstaller Logs:\n") + capture;
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
