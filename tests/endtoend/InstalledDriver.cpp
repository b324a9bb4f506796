#include "InstalledDriver.h"

#include "shared/PropertyList.h"
#include "support/PlistWriter.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::testsupport {

namespace {
bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
} // namespace

QString InstalledDriver::bundle(const TestRoot &root)
{
    return root.system(QStringLiteral("/Library/Printers/CorvaneTavoren/Corvane Tavoren for Mac.app"));
}

QString InstalledDriver::client(const TestRoot &root)
{
    return bundle(root) + QStringLiteral("/Contents/MacOS/Corvane Tavoren for Mac");
}

QString InstalledDriver::agent(const TestRoot &root)
{
    return root.system(QStringLiteral("/Library/Printers/CorvaneTavoren/CorvaneTavorenAgent"));
}

QString InstalledDriver::backend(const TestRoot &root)
{
    return root.system(QStringLiteral("/usr/lib/cups/backend/corvanetavoren"));
}

bool InstalledDriver::pointAdminFileAt(const TestRoot &root, const QString &host)
{
    const QString path = root.system(QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    auto admin = shared::PropertyList::fromBytes(file.readAll());
    if (!admin || admin->boolean(QStringLiteral("IsPrivateInstall")) != true)
        return false;
    admin->setString(QStringLiteral("host"), host);
    admin->setInteger(QStringLiteral("secure_connect"), 0);
    admin->setInteger(QStringLiteral("drnpollingtimeinsecond"), 0);
    return writeFile(path, admin->toXml());
}

bool InstalledDriver::rememberOwner(const TestRoot &root, const QString &address)
{
    QVariantMap client = PlistWriter::clientDefaults();
    client.insert(QStringLiteral("owneremail"), address);
    return writeFile(bundle(root) + QStringLiteral("/Contents/Resources/TavorenClient.plist"), PlistWriter::xml(client));
}

bool InstalledDriver::rememberOwnerOf(const QString &configHome, uid_t uid, gid_t gid, const QString &address)
{
    const QString folder = configHome + QStringLiteral("/CorvaneTavoren");
    const QString path = folder + QStringLiteral("/TavorenClient.plist");
    if (!QDir().mkpath(folder) || !writeFile(path, PlistWriter::xml({{QStringLiteral("owneremail"), address}})))
        return false;
    for (const auto &[entry, mode] : {std::pair{configHome, 0700}, std::pair{folder, 0700}, std::pair{path, 0600}}) {
        const QByteArray name = QFile::encodeName(entry);
        if (::chown(name.constData(), uid, gid) != 0 || ::chmod(name.constData(), mode_t(mode)) != 0)
            return false;
    }
    return true;
}

int InstalledDriver::endProcesses(const QString &executable)
{
    const QString wanted = QFileInfo(executable).canonicalFilePath();
    int ended = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (number && QFileInfo(QStringLiteral("/proc/") + entry + QStringLiteral("/exe")).symLinkTarget() == wanted
            && ::kill(pid, SIGTERM) == 0)
            ++ended;
    }
    return ended;
}

} // namespace tavoren::testsupport
