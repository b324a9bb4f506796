#include "support/AgentProcess.h"

#include "agent/AgentConstants.h"
#include "shared/SystemPath.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <linux/sockios.h>
#include <poll.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tavoren::testsupport {

AgentProcess::AgentProcess()
{
    m_process.setProgram(QStringLiteral(TAVOREN_TOOLS_DIR "/CorvaneTavorenAgent"));
    m_process.setArguments({QStringLiteral("--echo-log")});
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

AgentProcess::~AgentProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

void AgentProcess::startOnly()
{
    m_process.start();
    m_process.waitForStarted(10000);
}

bool AgentProcess::start()
{
    // A socket left by an earlier agent is not this one's.
    const QByteArray path = QFile::encodeName(socketPath());
    struct stat before{};
    const bool hadSocket = ::lstat(path.constData(), &before) == 0;
    startOnly();
    // The socket is there once bound; send() waits for the listen.
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        struct stat now{};
        if (::lstat(path.constData(), &now) == 0 && (!hadSocket || now.st_ino != before.st_ino || now.st_ctim.tv_nsec != before.st_ctim.tv_nsec))
            return true;
        if (m_process.state() == QProcess::NotRunning)
            return false;
        QTest::qWait(5);
    }
    return false;
}

bool AgentProcess::startAs(const QString &user)
{
    const passwd *entry = ::getpwnam(QFile::encodeName(user).constData());
    if (!entry)
        return false;
    const uid_t uid = entry->pw_uid;
    const gid_t gid = entry->pw_gid;
    m_process.setChildProcessModifier([uid, gid] {
        // None of root's groups come along.
        if (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(99);
    });
    startOnly();
    const QString socket = socketPath(user);
    const bool ended = QTest::qWaitFor([&] { return QFileInfo::exists(socket) || m_process.state() == QProcess::NotRunning; }, 20000);
    return ended && m_process.state() == QProcess::Running && QFileInfo::exists(socket);
}

QByteArray AgentProcess::standardError()
{
    m_error += m_process.readAllStandardError();
    return m_error;
}

int AgentProcess::countLines(const QByteArray &line)
{
    int count = 0;
    for (const QByteArray &each : standardError().split('\n'))
        count += each == line ? 1 : 0;
    return count;
}

bool AgentProcess::waitForLine(const QByteArray &line, int times)
{
    return QTest::qWaitFor([&] { return countLines(line) >= times; }, 20000);
}

QString AgentProcess::userName()
{
    const passwd *entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

bool AgentProcess::socketPathFits()
{
    return std::size_t(QFile::encodeName(socketPath()).size()) < sizeof(sockaddr_un::sun_path);
}

QString AgentProcess::socketFolder(const QString &user)
{
    return QString::fromStdString(shared::SystemPath::resolve(agent::SOCKET_FULL_PATH)) + QLatin1Char('/') + user;
}

QString AgentProcess::socketPath(const QString &user)
{
    return socketFolder(user) + QLatin1Char('/') + QString::fromUtf8(agent::SOCKET_FILE);
}

int AgentProcess::connectTo(const QString &socket)
{
    const QByteArray path = QFile::encodeName(socket);
    sockaddr_un address{};
    if (std::size_t(path.size()) >= sizeof address.sun_path)
        return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const QDeadlineTimer deadline(20000);
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            return fd;
        const int error = errno;
        ::close(fd);
        if ((error != ECONNREFUSED && error != ENOENT) || deadline.hasExpired())
            return -1;
        QTest::qWait(5);
    }
}

bool AgentProcess::send(const QByteArray &bytes, const QString &socket)
{
    const int fd = connectTo(socket);
    if (fd < 0)
        return false;
    bool ok = true;
    if (!bytes.isEmpty())
        ok = ::send(fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    ::close(fd);
    return ok;
}

bool AgentProcess::writeAndWaitUntilRead(int fd, const QByteArray &bytes)
{
    if (::send(fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL) != bytes.size())
        return false;
    // What the reader has not taken yet still counts against the sender.
    return QTest::qWaitFor([fd] {
        int unread = -1;
        return ::ioctl(fd, SIOCOUTQ, &unread) == 0 && unread == 0;
    }, 20000);
}

bool AgentProcess::closedByPeer(int fd)
{
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, 0) != 1)
        return false;
    char byte = 0;
    const ssize_t count = ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
    return count == 0 || (count < 0 && errno == ECONNRESET);
}

QByteArray AgentProcess::readUntilClosed(int fd)
{
    QByteArray bytes;
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 10) < 0 && errno != EINTR)
            break;
        if (wait.revents == 0)
            continue;
        char buffer[256];
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (count > 0)
            bytes.append(buffer, count);
        else if (count == 0 || (errno != EAGAIN && errno != EINTR))
            break; // ECONNRESET: closed with bytes of ours unread
    }
    return bytes;
}

QByteArray AgentProcess::answerTo(const QByteArray &message, const QString &socket)
{
    const int fd = connectTo(socket);
    if (fd < 0)
        return QByteArrayLiteral("(no connection)");
    ::send(fd, message.constData(), std::size_t(message.size()), MSG_NOSIGNAL);
    // As the backend does: the end of writing ends a message without a NUL.
    ::shutdown(fd, SHUT_WR);
    const QByteArray answer = readUntilClosed(fd);
    ::close(fd);
    return answer;
}

int AgentProcess::children() const
{
    const QByteArray parent = QByteArray::number(pid());
    int count = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...; comm may hold blanks and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == parent)
            ++count;
    }
    return count;
}

} // namespace tavoren::testsupport
