#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace tavoren::testsupport {

class TestRoot;

// The system's print scheduler, run as root for one test with a
// configuration of its own below the test's root: its own server root,
// state, spool and log folders, listening only on the root's scheduler socket
// (/run/cups/cups.sock below the root), programs run with TAVOREN_ROOT set.
// Its backend folder is the root's /usr/lib/cups/backend, where the driver
// package puts ours; filters and the rest are the system's.
class PrivateCupsd
{
public:
    explicit PrivateCupsd(const TestRoot &root);
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd &) = delete;
    PrivateCupsd &operator=(const PrivateCupsd &) = delete;

    // Whether a scheduler can run here: root, and the scheduler installed.
    static bool available(QString *reason);

    // Lays out the configuration, starts the scheduler and waits until it
    // answers; false with the reason otherwise.
    bool start(QString *reason = nullptr);
    void stop();

    QString socketPath() const { return m_socket; }
    // The scheduler's error log (debug level).
    QString errorLog() const;
    // Variables that point the system's print commands at this scheduler.
    QProcessEnvironment clientEnvironment() const;
    // Runs a print command (lp, lpstat, lpadmin, cancel) against this
    // scheduler; as `user` (through runuser) when given. Its exit status, or
    // -1 when it did not end in time.
    int runCommand(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
                   const QString &user = QString()) const;
    // Prints with lp to `queue` (as `user` when given): the job's number,
    // 0 when lp refused.
    int print(const QString &queue, const QStringList &arguments, const QString &user = QString()) const;
    // A job's state as this scheduler tells it (ipp_jstate_t), 0 when the
    // queue has no such job or the scheduler does not answer.
    int jobState(const QString &queue, int id) const;

private:
    bool layOut(QString *reason);

    QString m_root;
    QString m_socket;
    QProcess m_process;
};

} // namespace tavoren::testsupport
