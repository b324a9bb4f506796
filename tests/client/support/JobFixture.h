#pragma once

#include "client/core/UploadJob.h"
#include "client/support/RecordingFrontEnd.h"
#include "release-service/ReleaseService.h"
#include "support/FakeClock.h"
#include "support/MemorySystemLog.h"
#include "support/TestRoot.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <string>

namespace tavoren::clienttest {

// One job case: a root of its own, a substitute service on loopback, and a
// job runner with a fixed device serial and a quick spool-file wait.
class JobFixture
{
public:
    explicit JobFixture(bool secure = false, releaseservice::ReleaseService::Options options = {});

    QString host() const;
    // Writes the administrator file for this service.
    void configure(bool secure, const QVariantMap &overrides = {});
    // The job's environment: the root's resources, this fixture's clock
    // and system log.
    client::ClientEnvironment environment();
    client::UploadJob &makeJob();
    // Starts a new job with the arguments and waits for its end.
    RecordingFrontEnd::End run(const QStringList &arguments);
    RecordingFrontEnd::End runSpoolFile(const QString &path, const QString &name = QStringLiteral("Report.pdf"));
    // Waits for the end of a job already started.
    RecordingFrontEnd::End waitForEnd(int milliseconds = 30000);

    static QByteArray pdfBytes(qsizetype size);
    static QString text(const std::string &value) { return QString::fromStdString(value); }

    testsupport::TestRoot root;
    testsupport::MemorySystemLog systemLog;
    std::unique_ptr<releaseservice::ReleaseService> service;
    bool started = false;
    RecordingFrontEnd frontEnd;
    // The job's clock when set, else the computer's.
    std::shared_ptr<testsupport::FakeClock> clock;
    std::unique_ptr<client::UploadJob> job;
};

} // namespace tavoren::clienttest
