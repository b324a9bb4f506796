#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

namespace tavoren::testsupport {

// The CorvaneTavorenAgent program under the TAVOREN_ROOT in force, its log
// lines echoed to standard error and collected here.
class AgentProcess
{
public:
    AgentProcess();
    ~AgentProcess();
    AgentProcess(const AgentProcess &) = delete;
    AgentProcess &operator=(const AgentProcess &) = delete;

    QProcess &process() { return m_process; }
    // Starts the agent and waits until its socket accepts connections.
    bool start();
    // Starts without waiting for the socket (for set-ups that fail).
    void startOnly();
    // Starts the agent as another user (in a root without that user's
    // socket yet) and waits until its socket is there.
    bool startAs(const QString &user);
    qint64 pid() const { return m_process.processId(); }

    // Everything the agent wrote to standard error so far.
    QByteArray standardError();
    // Whether the line ("log: " lines included) has appeared, waiting a
    // generous while for it.
    bool waitForLine(const QByteArray &line, int times = 1);
    int countLines(const QByteArray &line);

    // The user's socket below the root in force (by default the user of
    // the test).
    static QString socketPath(const QString &user = userName());
    static QString socketFolder(const QString &user);
    static QString userName();
    // Whether the user's socket path below the root in force fits an address.
    static bool socketPathFits();

    // One connection: connect (retrying while the agent is not listening
    // yet), one write of `bytes` unless empty, close.
    static bool send(const QByteArray &bytes, const QString &socket = socketPath());
    // A connected socket (retrying as send() does), or -1; the caller closes it.
    static int connectTo(const QString &socket = socketPath());
    // Writes `bytes` and waits until the other end has read all of them, so
    // that the next write arrives apart from this one.
    static bool writeAndWaitUntilRead(int fd, const QByteArray &bytes);
    // Whether the other end has closed the connection, without waiting.
    static bool closedByPeer(int fd);
    // Everything the other end wrote until it closed the connection (a
    // generous while at most).
    static QByteArray readUntilClosed(int fd);
    // One connection: connect as send() does, write the message, end writing, and
    // return the agent's answer; "(no connection)" when none was made.
    static QByteArray answerTo(const QByteArray &message, const QString &socket = socketPath());

    // Processes whose parent is the agent, ended ones not yet collected
    // included.
    int children() const;

private:
    QProcess m_process;
    QByteArray m_error;
};

} // namespace tavoren::testsupport
