#include "client/support/ClientSetup.h"

#include "client/support/FixedDevice.h"
#include "shared/MachineClock.h"
#include "shared/StringTable.h"
#include "support/PlistWriter.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>

namespace tavoren::clienttest {

using testsupport::PlistWriter;

void ClientSetup::writeAdminConfig(const testsupport::TestRoot &root, const QString &host, bool secure,
                                   const QVariantMap &overrides)
{
    QVariantMap entries = PlistWriter::adminDefaults();
    entries.insert(QStringLiteral("host"), host);
    entries.insert(QStringLiteral("secure_connect"), secure ? 1 : 0);
    entries.insert(overrides);
    root.writeFile(QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist"), PlistWriter::xml(entries));
}

void ClientSetup::writeClientConfig(const testsupport::TestRoot &root, const QVariantMap &overrides)
{
    QVariantMap entries = PlistWriter::clientDefaults();
    entries.insert(overrides);
    root.writeFile(QStringLiteral("/resources/TavorenClient.plist"), PlistWriter::xml(entries));
}

void ClientSetup::useResources(const testsupport::TestRoot &root, bool withTranslations)
{
    const QString target = root.resourceDir();
    if (withTranslations) {
        const QString built = QStringLiteral(TAVOREN_BUNDLE_BIN_DIR "/../Resources/");
        for (const char *name : {"Main_en.qm", "Main_fr.qm"})
            QFile::copy(built + QLatin1String(name), target + QLatin1Char('/') + QLatin1String(name));
    }
    if (!QFile::exists(target + QStringLiteral("/TavorenClient.plist")))
        writeClientConfig(root);
}

client::ClientEnvironment ClientSetup::environment(const testsupport::TestRoot &root, shared::SystemLog &systemLog)
{
    client::ClientEnvironment environment(systemLog);
    environment.resourceFolder = root.resourceDir();
    environment.clock = std::make_shared<shared::MachineClock>();
    environment.device = std::make_shared<FixedDevice>();
    environment.strings = strings(root);
    environment.spoolWaitStep = std::chrono::milliseconds(5);
    return environment;
}

std::shared_ptr<shared::StringTable> ClientSetup::strings(const testsupport::TestRoot &root)
{
    return std::make_shared<shared::StringTable>(root.resourceDir(), QStringLiteral("Main"),
                                                 shared::StringTable::Missing::MarkedKey);
}

QString ClientSetup::spoolPath(const testsupport::TestRoot &root, const QString &job)
{
    const QString folder = root.spoolRoot() + QLatin1Char('/') + job;
    QDir().mkpath(folder);
    return folder + QStringLiteral("/") + job + QStringLiteral(".pdf");
}

QString ClientSetup::makeSpoolFile(const testsupport::TestRoot &root, const QString &job, const QByteArray &content)
{
    const QString path = spoolPath(root, job);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

} // namespace tavoren::clienttest
