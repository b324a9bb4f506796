#pragma once

#include "printer-backend/ExitCode.h"
#include "printer-backend/UserAccount.h"
#include "shared/Expected.h"

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

    // `arguments` without the program name. Either a request or a refusal,
    // whose text is the scheduler's error line.
    static shared::Expected<JobRequest> parse(const std::vector<std::string> &arguments);
    // What the backend ends with on a refusal: a job nobody could collect
    // (ENOENT, no such user) is cancelled, anything else fails.
    static ExitCode exitCodeOf(const shared::Error &refusal);

    static std::string documentNameOf(const std::string &title);
};

} // namespace tavoren::printerbackend
