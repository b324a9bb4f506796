#pragma once

#include <QString>
#include <QTemporaryDir>

namespace tavoren::testsupport {

// A TAVOREN_ROOT of its own for one test case: every system path of the
// programs lands below a fresh temporary folder, removed afterwards. The
// user's configuration home (XDG_CONFIG_HOME) points below it too, so no
// test reads or writes the real home.
class TestRoot
{
public:
    TestRoot();
    ~TestRoot();
    TestRoot(const TestRoot &) = delete;
    TestRoot &operator=(const TestRoot &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    // The path below the root for an absolute system path.
    QString system(const QString &absolutePath) const;
    // Creates the folder below the root and returns its path.
    QString makeDir(const QString &absolutePath) const;
    // Writes a file below the root (folders created) and returns its path.
    QString writeFile(const QString &absolutePath, const QByteArray &content) const;
    // The text of a file below the root; empty when unreadable.
    QString readText(const QString &absolutePath) const;

    // Well-known places.
    QString logDir() const;       // the client log folder
    QString spoolRoot() const;    // the agent's spool root
    QString resourceDir() const;  // a client resource folder for the test
    QString configHome() const;   // XDG_CONFIG_HOME while the root lives, not made
    QString userConfigFile() const; // the client's file in the user's configuration folder
    // Sets the access and modification times of an entry `seconds` into the
    // past; a link is set itself.
    static bool setTimesBack(const QString &path, long seconds);
    // Copies the test CA into the root's trust store folder.
    void trustTestAuthority() const;
    // Lets other users reach into the root (its own folder is private).
    bool openToOthers() const;

    // A folder every user shares, as the driver package makes it: owned by
    // root, mode 1777, made with its parents when missing. False when not
    // run as root.
    bool makeSharedFolder(const QString &absolutePath) const;
    // The agents' socket root, made as a shared folder.
    bool makeSocketRoot() const;
    QString socketRoot() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previousRoot;
    bool m_hadPreviousRoot = false;
    QByteArray m_previousConfigHome;
    bool m_hadPreviousConfigHome = false;
};

} // namespace tavoren::testsupport
