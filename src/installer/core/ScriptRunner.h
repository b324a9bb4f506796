#pragma once

#include "shared/Expected.h"

#include <QString>
#include <QStringList>
#include <atomic>

namespace tavoren::installer {

// Runs the installed version's removal script with the rights the installer
// has, when it has root's (silent mode). One implementation per platform.
class ScriptRunner
{
public:
    // A script root must not run: a link, or a file someone else can change.
    static constexpr const char *untrustedAction = "trust";
    // The script could not be started.
    static constexpr const char *startAction = "start";
    // Stopped because `cancel` was set: an Error with code ECANCELED.

    struct Result
    {
        int exitStatus = 0;
        // Standard output and error together.
        QByteArray output;
    };

    virtual ~ScriptRunner() = default;
    // Runs `script` through the shell with `arguments` and waits for it;
    // stops it when `cancel` is set.
    virtual shared::Expected<Result> run(const QString &script, const QStringList &arguments,
                                         const std::atomic<bool> &cancel) = 0;
};

} // namespace tavoren::installer
