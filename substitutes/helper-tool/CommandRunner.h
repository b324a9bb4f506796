#pragma once

#include "helper-tool/OutputLines.h"
#include "shared/Expected.h"

#include <string>
#include <vector>

namespace tavoren::helpertool {

// Runs one program with posix_spawn, no shell: standard input from
// /dev/null, standard output and error either discarded or passed on line
// by line as they arrive. The helper's own signal mask and ignored signals
// are not passed on.
class CommandRunner
{
public:
    // `arguments[0]` is the executable's path. Without `emit` the output is
    // discarded. The exit status (128+N for an end by signal N), or why the
    // command did not start (its code the errno).
    static shared::Expected<int> run(const std::vector<std::string> &arguments, const OutputLines::Emit &emit);
};

} // namespace tavoren::helpertool
