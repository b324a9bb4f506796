#pragma once

#include "installer/core/ScriptRunner.h"

namespace tavoren::installer {

// The script through /bin/sh in a child process, once it has been found to
// be a plain file of root's that nobody else may write.
class ProcessScriptRunner final : public ScriptRunner
{
public:
    shared::Expected<Result> run(const QString &script, const QStringList &arguments,
                                 const std::atomic<bool> &cancel) override;
};

} // namespace tavoren::installer
