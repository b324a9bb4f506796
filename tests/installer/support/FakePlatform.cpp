#include "FakePlatform.h"

#include "shared/InstalledPaths.h"

namespace tavoren::testsupport {

namespace {
const QString medium = QStringLiteral("/medium");
}

FakePlatform::FakePlatform(Package package)
{
    m_root.writeFile(medium + QStringLiteral("/OSX/macver.list"), "Corvane Tavoren Driver=2.0\n");
    m_root.makeDir(medium + QStringLiteral("/TavorenInstaller.app/Contents/MacOS"));
    if (package == Package::Present)
        m_root.writeFile(medium + QStringLiteral("/OSX/Corvane Tavoren Driver.pkg"), "a package\n");
}

QString FakePlatform::bundlePath() const
{
    return m_root.system(medium + QStringLiteral("/TavorenInstaller.app"));
}

QString FakePlatform::packagePath() const
{
    return m_root.system(medium + QStringLiteral("/OSX/Corvane Tavoren Driver.pkg"));
}

void FakePlatform::installVersion(const QString &version) const
{
    m_root.writeFile(QString::fromLatin1(shared::InstalledPaths::receipt),
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>PackageVersion</key>"
                     "<string>"
                         + version.toUtf8() + "</string></dict></plist>\n");
}

void FakePlatform::writeAdminFile() const
{
    m_root.writeFile(QString::fromLatin1(shared::InstalledPaths::adminFile),
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict/></plist>\n");
}

QString FakePlatform::logFile() const
{
    return m_root.readText(QStringLiteral("/var/tmp/kyr/CorvaneTavoren.log"));
}

installer::InstallerEnvironment FakePlatform::environment()
{
    installer::InstallerEnvironment environment(systemLog);
    environment.bundlePath = bundlePath();
    environment.timing.pollInterval = std::chrono::milliseconds(1);
    environment.timing.missingProgressFileWait = std::chrono::milliseconds(0);
    environment.timing.uninstallCompletePause = std::chrono::milliseconds(0);
    environment.helperChannel = channel;
    environment.authorization = authorization;
    environment.clock = clock;
    environment.systemVersion = systemVersion;
    environment.user = user;
    environment.scriptRunner = scriptRunner;
    environment.progressOutput = output;
    return environment;
}

} // namespace tavoren::testsupport
