#include "installer/core/ProcessScriptRunner.h"

#include "shared/HelperProtocol.h"

#include <QFile>
#include <QProcess>
#include <cerrno>
#include <sys/stat.h>

namespace tavoren::installer {

namespace {
constexpr int cancelCheckMilliseconds = 100;
}

shared::Expected<ScriptRunner::Result> ProcessScriptRunner::run(const QString &script, const QStringList &arguments,
                                                                const std::atomic<bool> &cancel)
{
    // It runs as root: a link, or a file someone else can change, is not run.
    struct stat status{};
    if (::lstat(QFile::encodeName(script).constData(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != 0
        || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return shared::Error::because(untrustedAction, script.toStdString(), "it is not a file only root can change");

    QProcess shell;
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.setStandardInputFile(QProcess::nullDevice());
    shell.start(QString::fromLatin1(shared::HelperProtocol::shell), QStringList{script} + arguments);
    if (!shell.waitForStarted())
        return shared::Error::because(startAction, script.toStdString(), shell.errorString().toStdString());
    while (!shell.waitForFinished(cancelCheckMilliseconds)) {
        if (cancel) {
            shell.kill();
            shell.waitForFinished();
            return shared::Error::system("run", script.toStdString(), ECANCELED);
        }
    }
    return Result{shell.exitCode(), shell.readAll()};
}

} // namespace tavoren::installer
