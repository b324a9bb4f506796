#pragma once

#include "FakeHelperAuthorization.h"
#include "FakeHelperChannel.h"
#include "FakeInstallerUser.h"
#include "FakeScriptRunner.h"
#include "FakeSystemVersion.h"
#include "RecordingProgressOutput.h"
#include "installer/core/InstallerEnvironment.h"
#include "support/FakeClock.h"
#include "support/MemorySystemLog.h"
#include "support/TestRoot.h"

#include <memory>

namespace tavoren::testsupport {

// Every platform piece of the installer as a fake, in a test root of its
// own that holds an installation medium (the package is any file): the
// installer's core and window run as any user, without a helper tool or
// root, and each failure of a piece can be had on demand.
class FakePlatform
{
    // First: the root is in force before anything else is made.
    TestRoot m_root;

public:
    enum class Package { Present, Missing };

    explicit FakePlatform(Package package = Package::Present);

    // The pieces below, handed in; short polls, no one-time waits.
    installer::InstallerEnvironment environment();
    const TestRoot &root() const { return m_root; }
    QString bundlePath() const;
    QString packagePath() const;
    // An installed version's receipt, and the administrator file.
    void installVersion(const QString &version) const;
    void writeAdminFile() const;
    // The installer's log file as it stands.
    QString logFile() const;

    MemorySystemLog systemLog;
    std::shared_ptr<FakeHelperChannel> channel = std::make_shared<FakeHelperChannel>();
    std::shared_ptr<FakeHelperAuthorization> authorization = std::make_shared<FakeHelperAuthorization>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeSystemVersion> systemVersion = std::make_shared<FakeSystemVersion>();
    std::shared_ptr<FakeInstallerUser> user = std::make_shared<FakeInstallerUser>();
    std::shared_ptr<FakeScriptRunner> scriptRunner = std::make_shared<FakeScriptRunner>();
    std::shared_ptr<RecordingProgressOutput> output = std::make_shared<RecordingProgressOutput>();
};

} // namespace tavoren::testsupport
