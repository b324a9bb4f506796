#pragma once

#include "helper-tool/BuiltArtefacts.h"
#include "helper-tool/HelperCommand.h"
#include "helper-tool/Reply.h"
#include "shared/Expected.h"
#include "shared/SystemLog.h"

#include <sys/types.h>

namespace tavoren::helpertool {

// Runs an accepted command once the queue reaches it. The checks on files
// (script, package installer, package, working folder) are made here, at run
// time, since an earlier request may have changed them.
class CommandExecutor
{
public:
    // The removal script's output goes to `log` line by line.
    CommandExecutor(BuiltArtefacts built, shared::SystemLog &log);

    // `requester` is the uid of the peer that sent the command.
    Reply execute(const HelperCommand &command, uid_t requester) const;

private:
    Reply probe() const;
    Reply removal() const;
    Reply installation(const std::string &packagePath, uid_t requester) const;
    // The computer's own package installer when it has one, else the one
    // blessed with the helper; either must be root's alone.
    shared::Expected<std::string> packageInstaller() const;

    BuiltArtefacts m_built;
    shared::SystemLog &m_log;
};

} // namespace tavoren::helpertool
