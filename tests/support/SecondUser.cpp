#include "support/SecondUser.h"

#include <pwd.h>
#include <unistd.h>

namespace tavoren::testsupport {

namespace {
const passwd *account()
{
    return ::getpwnam(SecondUser::name);
}

QStringList asUser(const QString &program, const QStringList &arguments)
{
    return QStringList{QStringLiteral("-u"), QString::fromLatin1(SecondUser::name), QStringLiteral("--"), program}
           + arguments;
}
} // namespace

bool SecondUser::ensure(QString *reason)
{
    if (account())
        return true;
    if (::geteuid() != 0) {
        if (reason)
            *reason = QStringLiteral("making a second user needs root");
        return false;
    }
    QProcess useradd;
    useradd.start(QStringLiteral("useradd"), {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                                              QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                                              QString::fromLatin1(name)});
    useradd.waitForFinished(30000);
    // Another test may have made it at the same moment.
    if (account())
        return true;
    if (reason)
        *reason = QStringLiteral("useradd failed: ") + QString::fromLocal8Bit(useradd.readAllStandardError());
    return false;
}

uid_t SecondUser::uid()
{
    const passwd *entry = account();
    return entry ? entry->pw_uid : uid_t(-1);
}

gid_t SecondUser::gid()
{
    const passwd *entry = account();
    return entry ? entry->pw_gid : gid_t(-1);
}

int SecondUser::run(const QString &program, const QStringList &arguments, QByteArray *output, int milliseconds)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    start(process, program, arguments);
    if (!process.waitForFinished(milliseconds)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void SecondUser::start(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral("runuser"), asUser(program, arguments));
}

} // namespace tavoren::testsupport
