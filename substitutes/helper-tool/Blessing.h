#pragma once

#include "helper-tool/BuiltArtefacts.h"
#include "shared/Expected.h"

#include <cstdio>
#include <string>
#include <sys/types.h>

namespace tavoren::helpertool {

// The --bless mode, run as root through pkexec: installs a root-owned copy of
// this executable at the blessed path and of the package installer carried
// beside it (checked against the one it was built with) in the helper's own
// folder, and starts the copy as a detached daemon serving the user who
// authorised it.
class Blessing
{
public:
    static constexpr const char *pkexecVariable = "PKEXEC_UID";
    static constexpr int readyWaitSeconds = 10;

    // The exit status; a one-line reason on `errors` when it fails.
    static int run(std::FILE *errors, const BuiltArtefacts &built);

    // $PKEXEC_UID when set and numeric, else the real uid.
    static uid_t authorisingUid();

private:
    // Where the copy went, or why there is none (the text is the reason shown).
    static shared::Expected<std::string> install();
    static shared::Expected<void> installCarriedInstaller(const BuiltArtefacts &built);
    // Once the daemon serves, or why it does not (the text is the reason shown).
    static shared::Expected<void> start(const std::string &tool, uid_t authorisedUid);
};

} // namespace tavoren::helpertool
