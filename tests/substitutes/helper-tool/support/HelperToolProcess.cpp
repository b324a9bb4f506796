#include "support/HelperToolProcess.h"

#include "shared/SystemPath.h"
#include "support/HelperExchange.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavoren::testsupport {

namespace {
QString resolved(const char *path)
{
    return QString::fromStdString(shared::SystemPath::resolve(path));
}

bool waitUntilGone(qint64 pid, int ms)
{
    return QTest::qWaitFor([pid] { return !HelperToolProcess::isRunning(pid); }, ms);
}

void end(qint64 pid)
{
    ::kill(pid_t(pid), SIGTERM);
    if (!waitUntilGone(pid, 20000)) {
        ::kill(pid_t(pid), SIGKILL);
        waitUntilGone(pid, 20000);
    }
}
} // namespace

QJsonObject HelperToolProcess::Reply::object() const
{
    if (!bytes.endsWith('\n') || bytes.count('\n') != 1)
        return {};
    return QJsonDocument::fromJson(bytes).object();
}

QString HelperToolProcess::Reply::outcome() const
{
    return object().value(QStringLiteral("outcome")).toString();
}

QString HelperToolProcess::Reply::text() const
{
    return object().value(QStringLiteral("reply")).toString();
}

QString HelperToolProcess::Reply::status() const
{
    return object().value(QStringLiteral("status")).toString();
}

HelperToolProcess::HelperToolProcess()
{
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

HelperToolProcess::~HelperToolProcess()
{
    stopAll();
}

QString HelperToolProcess::program()
{
    return QStringLiteral(TAVOREN_HELPER_TOOL);
}

QString HelperToolProcess::blessedPath()
{
    return resolved("/Library/PrivilegedHelperTools/com.kyr.InstallerHelperTool");
}

QString HelperToolProcess::socketPath()
{
    return resolved("/var/run/com.kyr.HelperTool.xpc");
}

QString HelperToolProcess::pidFilePath()
{
    return resolved("/var/run/com.kyr.InstallerHelperTool.pid");
}

QString HelperToolProcess::progressFilePath()
{
    return resolved("/var/tmp/kyr/CorvaneTavoren_ProgressMessage.log");
}

QString HelperToolProcess::blessedInstallerPath()
{
    return resolved("/Library/PrivilegedHelperTools/com.kyr.InstallerHelperTool.support/installer");
}

QString HelperToolProcess::stagedPackagePath()
{
    return resolved("/Library/PrivilegedHelperTools/com.kyr.InstallerHelperTool.support/package/Corvane Tavoren Driver.pkg");
}

QString HelperToolProcess::placePackage(const QString &folder)
{
    const QString path = folder + QStringLiteral("/OSX/Corvane Tavoren Driver.pkg");
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    return QFile::copy(QStringLiteral(TAVOREN_DRIVER_PACKAGE), path) ? path : QString();
}

HelperToolProcess::Blessing HelperToolProcess::bless(const BlessOptions &options)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("PKEXEC_UID"));
    environment.remove(QStringLiteral("TAVOREN_HELPER_IDLE_SECONDS"));
    if (!options.pkexecUid.isEmpty())
        environment.insert(QStringLiteral("PKEXEC_UID"), options.pkexecUid);
    if (!options.idleSeconds.isEmpty())
        environment.insert(QStringLiteral("TAVOREN_HELPER_IDLE_SECONDS"), options.idleSeconds);
    process.setProcessEnvironment(environment);
    if (options.runAs) {
        const uid_t uid = *options.runAs;
        const passwd *account = ::getpwuid(uid);
        const gid_t gid = account ? account->pw_gid : gid_t(uid);
        process.setChildProcessModifier([uid, gid] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(99);
        });
    }
    process.start(options.program.isEmpty() ? program() : options.program, {QStringLiteral("--bless")});
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardError()};
}

qint64 HelperToolProcess::pid()
{
    QFile file(pidFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.read(32).trimmed().toLongLong();
}

bool HelperToolProcess::isServing()
{
    // Connecting and closing at once costs the helper no more than a refusal.
    return isRunning(pid()) && HelperExchange::run(QFile::encodeName(socketPath()).toStdString(), {}, 0).connected;
}

bool HelperToolProcess::stop()
{
    const qint64 daemon = pid();
    if (daemon <= 0)
        return false;
    end(daemon);
    return !isRunning(daemon);
}

void HelperToolProcess::stopAll()
{
    const QString blessed = blessedPath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 candidate = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        // A daemon whose file a newer blessing replaced runs a deleted file.
        const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/") + entry + QStringLiteral("/exe"));
        if (executable == blessed || executable == blessed + QStringLiteral(" (deleted)"))
            end(candidate);
    }
}

bool HelperToolProcess::isRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    QFile stat(QStringLiteral("/proc/") + QString::number(pid) + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    // pid (comm) state ...; an ended daemon handed to us waits to be collected.
    if (line.mid(line.lastIndexOf(')') + 2, 1) != "Z")
        return true;
    ::waitpid(pid_t(pid), nullptr, WNOHANG);
    return false;
}

QByteArray HelperToolProcess::line(const QJsonObject &request)
{
    return QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
}

HelperToolProcess::Reply HelperToolProcess::request(const QJsonObject &request, int timeoutMs)
{
    return HelperToolProcess::request(line(request), timeoutMs);
}

HelperToolProcess::Reply HelperToolProcess::request(const QByteArray &raw, int timeoutMs)
{
    const auto exchange = HelperExchange::run(QFile::encodeName(socketPath()).toStdString(), raw.toStdString(), timeoutMs);
    return {exchange.connected, exchange.ended, QByteArray::fromStdString(exchange.reply)};
}

HelperToolProcess::Reply HelperToolProcess::requestAs(uid_t uid, gid_t gid, const QByteArray &raw)
{
    ::chmod(shared::SystemPath::root().c_str(), 0755);
    QProcess client;
    client.setChildProcessModifier([uid, gid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(99);
    });
    client.start(QStringLiteral(TAVOREN_HELPER_REQUEST_CLIENT), {socketPath()});
    client.write(raw);
    client.closeWriteChannel();
    if (!client.waitForFinished(90000))
        return {};
    return {client.exitCode() != 2, client.exitCode() == 0, client.readAllStandardOutput()};
}

bool HelperToolProcess::placeScript(const QString &absolutePath, const QByteArray &script)
{
    const QString path = QString::fromStdString(shared::SystemPath::resolve(absolutePath.toStdString()));
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(script) != script.size())
        return false;
    file.close();
    return ::chown(QFile::encodeName(path).constData(), 0, 0) == 0 && ::chmod(QFile::encodeName(path).constData(), 0755) == 0;
}

} // namespace tavoren::testsupport
