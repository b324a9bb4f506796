#include "support/PrivateCupsd.h"

#include "support/TestRoot.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <cups/cups.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tavoren::testsupport {

namespace {
const QString systemServerBin = QStringLiteral("/usr/lib/cups");
const QString defaultConfiguration = QStringLiteral("/usr/share/cups/cupsd.conf.default");

bool accepts(const QString &socketPath)
{
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address{};
    if (std::size_t(path.size()) >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}
} // namespace

PrivateCupsd::PrivateCupsd(const TestRoot &root)
    : m_root(root.path())
    , m_socket(root.system(QStringLiteral("/run/cups/cups.sock")))
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardInputFile(QProcess::nullDevice());
}

PrivateCupsd::~PrivateCupsd()
{
    stop();
}

bool PrivateCupsd::available(QString *reason)
{
    if (::geteuid() != 0) {
        *reason = QStringLiteral("the print scheduler runs as root only");
        return false;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("cupsd"), {QStringLiteral("/usr/sbin")}).isEmpty()
        || !QFileInfo::exists(defaultConfiguration)) {
        *reason = QStringLiteral("the print scheduler is not installed (scripts/setup.sh installs it)");
        return false;
    }
    return true;
}

bool PrivateCupsd::layOut(QString *reason)
{
    const QDir root(m_root);
    for (const char *folder : {"/etc/cups", "/run/cups", "/var/cache/cups", "/var/spool/cups/tmp", "/var/log/cupsd",
                               "/usr/lib/cups/backend"}) {
        if (!root.mkpath(m_root + QLatin1String(folder))) {
            *reason = QStringLiteral("cannot make %1").arg(QLatin1String(folder));
            return false;
        }
    }
    // The scheduler runs filters as "lp": they must reach into the root.
    ::chmod(QFile::encodeName(m_root).constData(), 0755);
    const QString serverBin = m_root + QStringLiteral("/usr/lib/cups");
    for (const char *part : {"filter", "daemon", "notifier", "driver", "monitor", "cgi-bin"}) {
        const QString target = systemServerBin + QLatin1Char('/') + QLatin1String(part);
        const QString link = serverBin + QLatin1Char('/') + QLatin1String(part);
        if (QFileInfo::exists(target) && !QFileInfo(link).isSymLink())
            QFile::link(target, link);
    }

    QFile defaults(defaultConfiguration);
    if (!defaults.open(QIODevice::ReadOnly)) {
        *reason = defaults.errorString();
        return false;
    }
    // The system's access rules and policies, with only our socket to listen on.
    // A job held for a retry stays held for the test's whole run unless
    // someone releases it: what releases it is under test.
    QByteArray conf = "Listen " + QFile::encodeName(m_socket)
                      + "\nLogLevel debug\nBrowsing No\nWebInterface No\nJobRetryInterval 3600\n";
    for (const QByteArray &line : defaults.readAll().split('\n')) {
        const QByteArray word = line.trimmed().split(' ').value(0);
        if (word != "Listen" && word != "Port" && word != "LogLevel" && word != "Browsing"
            && word != "BrowseLocalProtocols" && word != "WebInterface" && word != "IdleExitTimeout"
            && word != "JobRetryInterval")
            conf += line + '\n';
    }
    const QByteArray r = QFile::encodeName(m_root);
    const QByteArray files = "SystemGroup root\nUser lp\nGroup lp\n"
                             "ServerRoot " + r + "/etc/cups\n"
                             "StateDir " + r + "/run/cups\n"
                             "CacheDir " + r + "/var/cache/cups\n"
                             "RequestRoot " + r + "/var/spool/cups\n"
                             "TempDir " + r + "/var/spool/cups/tmp\n"
                             "ServerBin " + r + "/usr/lib/cups\n"
                             "DataDir /usr/share/cups\n"
                             "AccessLog " + r + "/var/log/cupsd/access_log\n"
                             "ErrorLog " + r + "/var/log/cupsd/error_log\n"
                             "PageLog " + r + "/var/log/cupsd/page_log\n"
                             "SetEnv TAVOREN_ROOT " + r + "\n";
    if (!writeText(m_root + QStringLiteral("/etc/cups/cupsd.conf"), conf)
        || !writeText(m_root + QStringLiteral("/etc/cups/cups-files.conf"), files)) {
        *reason = QStringLiteral("cannot write the scheduler's configuration");
        return false;
    }
    return true;
}

bool PrivateCupsd::start(QString *reason)
{
    QString why;
    if (!available(&why) || !layOut(&why)) {
        if (reason)
            *reason = why;
        return false;
    }
    m_process.start(QStringLiteral("/usr/sbin/cupsd"),
                    {QStringLiteral("-f"), QStringLiteral("-c"), m_root + QStringLiteral("/etc/cups/cupsd.conf"),
                     QStringLiteral("-s"), m_root + QStringLiteral("/etc/cups/cups-files.conf")});
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        if (accepts(m_socket))
            return true;
        m_process.waitForFinished(50);
    }
    if (reason)
        *reason = QStringLiteral("the scheduler did not start: ") + QString::fromLocal8Bit(m_process.readAll());
    stop();
    return false;
}

void PrivateCupsd::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString PrivateCupsd::errorLog() const
{
    return m_root + QStringLiteral("/var/log/cupsd/error_log");
}

QProcessEnvironment PrivateCupsd::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVER"), m_socket);
    environment.insert(QStringLiteral("TAVOREN_ROOT"), m_root);
    return environment;
}

int PrivateCupsd::runCommand(const QString &program, const QStringList &arguments, QByteArray *output,
                             const QString &user) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessEnvironment(clientEnvironment());
    if (user.isEmpty()) {
        process.start(program, arguments);
    } else {
        // runuser starts from a clean environment: the scheduler's address goes through env.
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), user, QStringLiteral("--"), QStringLiteral("env"),
                                  QStringLiteral("CUPS_SERVER=") + m_socket, QStringLiteral("TAVOREN_ROOT=") + m_root,
                                  program}
                          + arguments);
    }
    const bool ended = process.waitForFinished(30000);
    if (output)
        *output = process.readAll();
    if (!ended) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

int PrivateCupsd::print(const QString &queue, const QStringList &arguments, const QString &user) const
{
    QByteArray output;
    const int status = runCommand(QStringLiteral("lp"), QStringList{QStringLiteral("-d"), queue} + arguments, &output, user);
    const auto match = QRegularExpression(QStringLiteral("request id is %1-(\\d+)").arg(QRegularExpression::escape(queue)))
                           .match(QString::fromUtf8(output));
    if (status != 0 || !match.hasMatch()) {
        qWarning("lp: %s", output.constData());
        return 0;
    }
    return match.captured(1).toInt();
}

int PrivateCupsd::jobState(const QString &queue, int id) const
{
    http_t *http = httpConnect2(QFile::encodeName(m_socket).constData(), 0, nullptr, AF_LOCAL, HTTP_ENCRYPTION_NEVER, 1,
                                10000, nullptr);
    if (!http)
        return 0;
    cups_job_t *jobs = nullptr;
    const int count = cupsGetJobs2(http, &jobs, queue.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
    int state = 0;
    for (int i = 0; i < count; ++i) {
        if (jobs[i].id == id)
            state = jobs[i].state;
    }
    cupsFreeJobs(count, jobs);
    httpClose(http);
    return state;
}

} // namespace tavoren::testsupport
