#include "client/support/JobFixture.h"

#include "client/core/JobArgument.h"
#include "client/support/ClientSetup.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTest>

namespace tavoren::clienttest {

JobFixture::JobFixture(bool secure, releaseservice::ReleaseService::Options options)
{
    options.storageDir = root.system(QStringLiteral("/service")).toStdString();
    QDir().mkpath(text(options.storageDir));
    if (secure) {
        options.certificateFile = TAVOREN_TEST_DATA_DIR "/certs/server.pem";
        options.keyFile = TAVOREN_TEST_DATA_DIR "/certs/server.key";
        root.trustTestAuthority();
    }
    service = std::make_unique<releaseservice::ReleaseService>(options);
    started = service->start();
    ClientSetup::useResources(root);
    configure(secure);
}

QString JobFixture::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(service->port());
}

void JobFixture::configure(bool secure, const QVariantMap &overrides)
{
    ClientSetup::writeAdminConfig(root, host(), secure, overrides);
}

client::ClientEnvironment JobFixture::environment()
{
    client::ClientEnvironment environment = ClientSetup::environment(root, systemLog);
    if (clock)
        environment.clock = clock;
    return environment;
}

client::UploadJob &JobFixture::makeJob()
{
    job = std::make_unique<client::UploadJob>(frontEnd, environment());
    return *job;
}

RecordingFrontEnd::End JobFixture::waitForEnd(int milliseconds)
{
    [[maybe_unused]] const bool ended = QTest::qWaitFor([this] { return frontEnd.end != RecordingFrontEnd::End::None; }, milliseconds);
    return frontEnd.end;
}

RecordingFrontEnd::End JobFixture::run(const QStringList &arguments)
{
    makeJob().start(arguments);
    return waitForEnd();
}

RecordingFrontEnd::End JobFixture::runSpoolFile(const QString &path, const QString &name)
{
    return run({QStringLiteral("client"), client::JobArgument::compose(name, path)});
}

QByteArray JobFixture::pdfBytes(qsizetype size)
{
    QByteArray bytes = "%PDF-1.4\n";
    while (bytes.size() < size)
        bytes += char(QRandomGenerator::global()->bounded(256));
    bytes.truncate(size);
    return bytes;
}

} // namespace tavoren::clienttest
