#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace tavoren::testsupport {

// The built helper tool under the TAVOREN_ROOT in force: blessing it as
// root, its daemon, and requests on its socket. Every daemon of the root is
// stopped when the object goes, so none outlives a test: declare it after
// the test's TestRoot.
class HelperToolProcess
{
public:
    struct BlessOptions
    {
        QString pkexecUid;   // PKEXEC_UID; unset when empty
        QString idleSeconds; // TAVOREN_HELPER_IDLE_SECONDS; unset when empty
        std::optional<uid_t> runAs; // another user runs --bless
        QString program;            // another copy of the helper; the built one when empty
    };
    struct Blessing
    {
        int exitCode = -1;
        QByteArray standardError;
    };
    struct Reply
    {
        bool connected = false;
        bool ended = false; // the helper closed the connection
        QByteArray bytes;

        bool closedWithoutReply() const { return connected && ended && bytes.isEmpty(); }
        QJsonObject object() const; // the reply line's object, empty when none
        QString outcome() const;
        QString text() const;
        QString status() const;
    };

    // Orphaned daemons are handed to this process, which collects them.
    HelperToolProcess();
    ~HelperToolProcess();
    HelperToolProcess(const HelperToolProcess &) = delete;
    HelperToolProcess &operator=(const HelperToolProcess &) = delete;

    static QString program(); // the built helper
    static QString blessedPath();
    static QString socketPath();
    static QString pidFilePath();
    static QString progressFilePath();
    // The package installer blessed with the helper, and the copy of the
    // package it installs, below the root.
    static QString blessedInstallerPath();
    static QString stagedPackagePath();

    // The build's driver package, the only one the helper installs, copied
    // to FOLDER/OSX/Corvane Tavoren Driver.pkg: that path, empty on failure.
    static QString placePackage(const QString &folder);

    // com.kyr.InstallerHelperTool --bless, as root unless told otherwise.
    Blessing bless(const BlessOptions &options = {});
    // The pid in the pid file; 0 when there is none.
    static qint64 pid();
    // The pid file's process runs and the socket takes connections.
    static bool isServing();
    // Ends the daemon named in the pid file and waits until it is gone.
    static bool stop();
    // Ends every daemon running from this root's blessed path.
    static void stopAll();
    static bool isRunning(qint64 pid);

    static Reply request(const QJsonObject &request, int timeoutMs = 60000);
    static Reply request(const QByteArray &raw, int timeoutMs = 60000);
    // The same from another user, through the request client; the root is
    // made traversable for it.
    static Reply requestAs(uid_t uid, gid_t gid, const QByteArray &raw);

    // A root-owned 0755 script at the absolute path below the root.
    static bool placeScript(const QString &absolutePath, const QByteArray &script);
    static QByteArray line(const QJsonObject &request);
};

} // namespace tavoren::testsupport
