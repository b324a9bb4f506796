#include "InstallationMedium.h"

#include "shared/PropertyList.h"
#include "support/TestRoot.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <pwd.h>

namespace tavoren::testsupport {

namespace {
const QString bundleName = QStringLiteral("TavorenInstaller.app");

bool copyTree(const QString &from, const QString &to)
{
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-R"), from, to}) == 0;
}

bool writeExecutable(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                               | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                               | QFileDevice::ExeOther);
}
} // namespace

InstallationMedium::InstallationMedium(const TestRoot &root, const QString &folder)
    : m_root(root.path())
    , m_path(root.system(folder))
{
}

QString InstallationMedium::packagePath() const
{
    return m_path + QStringLiteral("/OSX/Corvane Tavoren Driver.pkg");
}

QString InstallationMedium::installer() const
{
    return m_path + QLatin1Char('/') + bundleName + QStringLiteral("/Contents/MacOS/TavorenInstaller");
}

bool InstallationMedium::layOut(Package package)
{
    if (!QDir().mkpath(m_path + QStringLiteral("/OSX")))
        return false;
    if (!copyTree(QStringLiteral(TAVOREN_MEDIUM_DIR "/") + bundleName, m_path + QLatin1Char('/') + bundleName))
        return false;
    QFile list(m_path + QStringLiteral("/OSX/macver.list"));
    if (!list.open(QIODevice::WriteOnly) || list.write("Corvane Tavoren Driver=" TAVOREN_VERSION "\n") <= 0)
        return false;
    switch (package) {
    case Package::Built:
        return QFile::copy(QStringLiteral(TAVOREN_DRIVER_PACKAGE), packagePath());
    case Package::Missing:
        break;
    }
    return true;
}

bool InstallationMedium::standInPackageInstaller(const TestRoot &root, const QByteArray &script)
{
    return writeExecutable(root.system(QStringLiteral("/usr/sbin/installer")), script);
}

bool InstallationMedium::realPackageInstaller(const TestRoot &root)
{
    const QString target = root.system(QStringLiteral("/usr/sbin/installer"));
    QDir().mkpath(QFileInfo(target).path());
    QFile::remove(target);
    return QFile::copy(QStringLiteral(TAVOREN_TOOLS_DIR "/installer"), target);
}

int InstallationMedium::isPrivateInstall(const TestRoot &root)
{
    QFile file(root.system(QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist")));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const auto admin = shared::PropertyList::fromBytes(file.readAll());
    const std::optional<bool> flag = admin ? admin->boolean(QStringLiteral("IsPrivateInstall")) : std::nullopt;
    return flag ? int(*flag) : -1;
}

QProcessEnvironment InstallationMedium::environment(const TestRoot &root)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAVOREN_ROOT"), root.path());
    environment.insert(QStringLiteral("TAVOREN_INSTALLER_POLL_MS"), QStringLiteral("5"));
    environment.insert(QStringLiteral("TAVOREN_INSTALLER_WAIT_MS"), QStringLiteral("0"));
    environment.insert(QStringLiteral("TAVOREN_HELPER_IDLE_SECONDS"), QStringLiteral("120"));
    return environment;
}

InstallerRun::InstallerRun(const InstallationMedium &medium, const QStringList &arguments,
                           const QProcessEnvironment &environment, const QString &user)
{
    m_process.setProcessEnvironment(environment);
    m_process.setStandardInputFile(QProcess::nullDevice());
    if (user.isEmpty()) {
        m_process.start(medium.installer(), arguments);
        return;
    }
    const passwd *account = ::getpwnam(user.toLocal8Bit().constData());
    const QString uid = QString::number(account ? account->pw_uid : 65534);
    const QString gid = QString::number(account ? account->pw_gid : 65534);
    m_process.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=") + uid, QStringLiteral("--regid=") + gid,
                                                           QStringLiteral("--clear-groups"), medium.installer()}
                                                   + arguments);
}

InstallerRun::~InstallerRun()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

void InstallerRun::collect()
{
    m_pending += m_process.readAllStandardOutput();
    m_error += m_process.readAllStandardError();
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
        m_lines.append(QString::fromUtf8(m_pending.left(end)));
        m_pending.remove(0, end + 1);
    }
}

bool InstallerRun::waitForLine(const std::function<bool(const QString &)> &wanted, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    qsizetype seen = 0;
    for (;;) {
        collect();
        for (; seen < m_lines.size(); ++seen) {
            if (wanted(m_lines.at(seen)))
                return true;
        }
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(50);
    }
}

bool InstallerRun::waitForLines(qsizetype count, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    for (;;) {
        collect();
        if (m_lines.size() >= count)
            return true;
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(50);
    }
}

int InstallerRun::finish(int milliseconds)
{
    const bool ended = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(milliseconds);
    collect();
    if (!ended || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

} // namespace tavoren::testsupport
