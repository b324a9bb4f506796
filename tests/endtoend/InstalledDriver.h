#pragma once

#include <QString>
#include <sys/types.h>

namespace tavoren::testsupport {

class TestRoot;

// The driver package as installed below a test root, and what an
// administrator and a user set up around it.
class InstalledDriver
{
public:
    static QString bundle(const TestRoot &root);
    static QString client(const TestRoot &root);
    static QString agent(const TestRoot &root);
    static QString backend(const TestRoot &root);

    // The installed admin file names the service (on loopback, without TLS,
    // polling without pause); the rest stays. False unless the installation
    // recorded a private computer.
    static bool pointAdminFileAt(const TestRoot &root, const QString &host);
    // An owner address as the administrator's default in the installed
    // bundle, which every user's client has until the user types another.
    static bool rememberOwner(const TestRoot &root, const QString &address);
    // A user's own remembered address, as the user's client leaves it in
    // the configuration home: folders 0700 and the file 0600, all the user's.
    static bool rememberOwnerOf(const QString &configHome, uid_t uid, gid_t gid, const QString &address);
    // Sends SIGTERM to every process running `executable`; how many.
    static int endProcesses(const QString &executable);
};

} // namespace tavoren::testsupport
