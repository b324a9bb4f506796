#pragma once

#include "client/core/ClientEnvironment.h"

#include <QString>
#include <QVariantMap>

namespace tavoren::testsupport {
class TestRoot;
}

namespace tavoren::clienttest {

// Lays out what a client needs in a test root: the administrator file
// pointing at a service on loopback, the client file and a resource folder
// with the built strings tables.
class ClientSetup
{
public:
    // host is "127.0.0.1:port"; `overrides` replace administrator entries.
    static void writeAdminConfig(const testsupport::TestRoot &root, const QString &host, bool secure,
                                 const QVariantMap &overrides = {});
    static void writeClientConfig(const testsupport::TestRoot &root, const QVariantMap &overrides = {});
    // Fills the root's resource folder, with or without the built
    // translations.
    static void useResources(const testsupport::TestRoot &root, bool withTranslations = true);
    // An environment with the root's resource folder, the computer's clock,
    // a fixed device serial and a quick wait for the spool file; no URL
    // handler, icon or termination.
    static client::ClientEnvironment environment(const testsupport::TestRoot &root, shared::SystemLog &systemLog);
    // The "Main" table of the root's resources, in the default locale now.
    static std::shared_ptr<shared::StringTable> strings(const testsupport::TestRoot &root);
    // Makes a job folder with a spool file of `content` and returns the path.
    static QString makeSpoolFile(const testsupport::TestRoot &root, const QString &job, const QByteArray &content);
    // The spool file path of a job whose file is not written yet.
    static QString spoolPath(const testsupport::TestRoot &root, const QString &job);
};

} // namespace tavoren::clienttest
