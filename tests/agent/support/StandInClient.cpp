#include "support/StandInClient.h"

#include "agent/AgentConstants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace tavoren::testsupport {

bool StandInClient::install(const TestRoot &root)
{
    QDir().mkpath(recordFolder(root));
    // Agents of other users write here too.
    QFile::setPermissions(recordFolder(root), QFileDevice::Permissions(0x7777));
    const QString target = root.system(QString::fromUtf8(agent::LAUNCHER_APP_PATH));
    QDir().mkpath(QFileInfo(target).path());
    QFile::remove(target);
    return QFile::link(QStringLiteral(TAVOREN_STAND_IN_CLIENT), target);
}

QString StandInClient::recordFolder(const TestRoot &root)
{
    return root.system(QStringLiteral("/var/tmp/stand-in-client"));
}

QList<QByteArrayList> StandInClient::records(const TestRoot &root)
{
    QDir folder(recordFolder(root));
    QStringList names = folder.entryList({QStringLiteral("*.args")}, QDir::Files);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.section(QLatin1Char('.'), 0, 0).toLongLong() < b.section(QLatin1Char('.'), 0, 0).toLongLong();
    });
    QList<QByteArrayList> result;
    for (const QString &name : names) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArrayList arguments = file.readAll().split('\0');
        arguments.removeLast(); // after the last NUL
        result.append(arguments);
    }
    return result;
}

int StandInClient::count(const TestRoot &root)
{
    return int(QDir(recordFolder(root)).entryList({QStringLiteral("*.args")}, QDir::Files).size());
}

} // namespace tavoren::testsupport
