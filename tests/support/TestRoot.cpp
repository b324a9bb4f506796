#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::testsupport {

TestRoot::TestRoot()
    : m_previousRoot(qgetenv("TAVOREN_ROOT"))
    , m_hadPreviousRoot(qEnvironmentVariableIsSet("TAVOREN_ROOT"))
    , m_previousConfigHome(qgetenv("XDG_CONFIG_HOME"))
    , m_hadPreviousConfigHome(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
{
    m_dir.setAutoRemove(true);
    qputenv("TAVOREN_ROOT", m_dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    makeDir(QStringLiteral("/private/var/log/cups/tavorencups"));
    makeDir(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver"));
    makeDir(QStringLiteral("/Library/Preferences"));
    makeDir(QStringLiteral("/resources"));
    makeDir(QStringLiteral("/var/tmp"));
    makeDir(QStringLiteral("/var/run"));
    // The user's home; the client makes its configuration home below it.
    makeDir(QStringLiteral("/home"));
}

TestRoot::~TestRoot()
{
    if (m_hadPreviousRoot)
        qputenv("TAVOREN_ROOT", m_previousRoot);
    else
        qunsetenv("TAVOREN_ROOT");
    if (m_hadPreviousConfigHome)
        qputenv("XDG_CONFIG_HOME", m_previousConfigHome);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QString TestRoot::system(const QString &absolutePath) const
{
    return m_dir.path() + absolutePath;
}

QString TestRoot::makeDir(const QString &absolutePath) const
{
    const QString full = system(absolutePath);
    QDir().mkpath(full);
    return full;
}

QString TestRoot::writeFile(const QString &absolutePath, const QByteArray &content) const
{
    const QString full = system(absolutePath);
    QDir().mkpath(QFileInfo(full).path());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
    return full;
}

QString TestRoot::readText(const QString &absolutePath) const
{
    QFile file(system(absolutePath));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString TestRoot::logDir() const
{
    return system(QStringLiteral("/private/var/log/cups/tavorencups"));
}

QString TestRoot::spoolRoot() const
{
    return system(QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver"));
}

QString TestRoot::resourceDir() const
{
    return system(QStringLiteral("/resources"));
}

QString TestRoot::configHome() const
{
    return m_dir.path() + QStringLiteral("/home/config");
}

QString TestRoot::userConfigFile() const
{
    return configHome() + QStringLiteral("/CorvaneTavoren/TavorenClient.plist");
}

bool TestRoot::setTimesBack(const QString &path, long seconds)
{
    const timespec then{std::time(nullptr) - seconds, 0};
    const timespec times[2] = {then, then};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool TestRoot::openToOthers() const
{
    return ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755) == 0;
}

bool TestRoot::makeSharedFolder(const QString &absolutePath) const
{
    if (::geteuid() != 0)
        return false;
    const QByteArray path = QFile::encodeName(makeDir(absolutePath));
    return ::chown(path.constData(), 0, 0) == 0 && ::chmod(path.constData(), 01777) == 0;
}

bool TestRoot::makeSocketRoot() const
{
    return makeSharedFolder(QStringLiteral("/private/tmp/Corvane_Tavoren_Socket"));
}

QString TestRoot::socketRoot() const
{
    return system(QStringLiteral("/private/tmp/Corvane_Tavoren_Socket"));
}

void TestRoot::trustTestAuthority() const
{
    const QString certs = makeDir(QStringLiteral("/etc/ssl/certs"));
    QFile::copy(QStringLiteral(TAVOREN_TEST_DATA_DIR "/certs/ca.pem"), certs + QStringLiteral("/tavoren-test-ca.pem"));
}

} // namespace tavoren::testsupport
