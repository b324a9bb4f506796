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
    explicit CommandExecutor(uid_t authorisedUid);

    Reply execute(const HelperCommand &command) const;

private:
    Reply probe() const;
    Reply removal() const;
    Reply installation(const std::string &packagePath) const;

    uid_t m_authorisedUid;
};

} // namespace tavoren::helpertool
