#pragma once

#include "helper-tool/HelperCommand.h"
#include "helper-tool/Reply.h"

#include <sys/types.h>

namespace tavoren::helpertool {

// Runs an accepted command once the queue reaches it. The checks on files
// (script, package installer, working folder) are made here, at run time,
// since an earlier request may have changed them.
class CommandExecutor
{
public:
    // `requester` is the uid of the peer that sent the command.
    Reply execute(const HelperCommand &command, uid_t requester) const;

private:
    Reply probe() const;
    Reply removal() const;
    Reply installation(const std::string &packagePath, uid_t requester) const;
};

} // namespace tavoren::helpertool
