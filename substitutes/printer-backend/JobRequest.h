#pragma once

#include "printer-backend/ExitCode.h"
#include "printer-backend/UserAccount.h"

#include <optional>
#include <string>
#include <vector>

namespace tavoren::printerbackend {

// One job as the scheduler hands it over:
//   backend job-id user title copies options [file]
// without a file the job comes on standard input.
struct JobRequest
{
    std::string jobId;
    UserAccount user;
    // The title made fit for the job argument: valid UTF-8, no control
    // characters, neither separator of the agent's message.
    std::string documentName;
    std::optional<std::string> file;

    struct Refusal
    {
        std::string reason;
        ExitCode code = ExitCode::Failed;
    };

    // `arguments` without the program name. Either a request or a refusal.
    static std::optional<JobRequest> parse(const std::vector<std::string> &arguments, Refusal *refusal);

    static std::string documentNameOf(const std::string &title);
};

} // namespace tavoren::printerbackend
