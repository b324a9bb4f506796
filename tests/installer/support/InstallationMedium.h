#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace tavoren::testsupport {

class TestRoot;

// An installation medium laid out below a test root from the build's: the
// installer's bundle with its helper tool, and beside it the driver package
// and its version list. The installer runs from it as a real program.
class InstallationMedium
{
public:
    // The helper tool installs the build's package alone, so even a stand-in
    // package installer gets that one.
    enum class Package { Built, Missing };

    InstallationMedium(const TestRoot &root, const QString &folder = QStringLiteral("/medium"));

    bool layOut(Package package);
    QString path() const { return m_path; }
    QString packagePath() const;
    QString installer() const;

    // Puts a script in place of the package installer, as root would.
    static bool standInPackageInstaller(const TestRoot &root, const QByteArray &script);
    // The built package installer at its place below the root.
    static bool realPackageInstaller(const TestRoot &root);
    // The environment of an installer run: the root and short waits.
    static QProcessEnvironment environment(const TestRoot &root);
    // "IsPrivateInstall" of the admin file below the root: 1, 0, or -1 when unreadable.
    static int isPrivateInstall(const TestRoot &root);

private:
    QString m_root;
    QString m_path;
};

// One run of TavorenInstaller: its output lines as they come, its end.
class InstallerRun
{
public:
    // Runs as `user` (through setpriv) when given, else as the test.
    InstallerRun(const InstallationMedium &medium, const QStringList &arguments, const QProcessEnvironment &environment,
                 const QString &user = QString());
    ~InstallerRun();

    // Waits (bounded) until a line satisfies `wanted`; lines so far.
    bool waitForLine(const std::function<bool(const QString &)> &wanted, int milliseconds = 30000);
    // Waits (bounded) until `count` lines have come in all.
    bool waitForLines(qsizetype count, int milliseconds = 30000);
    // Waits for the end; the exit status, or -1 when it did not end.
    int finish(int milliseconds = 60000);
    QStringList lines() const { return m_lines; }
    QByteArray standardError() const { return m_error; }

private:
    void collect();

    QProcess m_process;
    QByteArray m_pending;
    QStringList m_lines;
    QByteArray m_error;
};

} // namespace tavoren::testsupport
