#include "printer-backend/JobRequest.h"

#include "shared/HandOff.h"
#include "shared/JobArgument.h"
#include "shared/JobMessage.h"

#include <algorithm>
#include <cerrno>

namespace tavoren::printerbackend {

namespace {
constexpr std::size_t maximumJobIdLength = 10;

// Shortens every occurrence until none is left; each step makes the text
// shorter, so this ends.
void breakUp(std::string &text, const std::string &separator)
{
    for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator))
        text.erase(at + separator.size() - 1, 1);
}
} // namespace

std::string JobRequest::documentNameOf(const std::string &title)
{
    std::string name = shared::JobMessage::repairedUtf8(title);
    for (char &c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = ' ';
    }
    breakUp(name, std::string(shared::JobArgument::separator));
    breakUp(name, shared::HandOff::messageEndSeparator);
    if (std::all_of(name.begin(), name.end(), [](char c) { return c == ' '; }))
        name = "Untitled";
    return name;
}

ExitCode JobRequest::exitCodeOf(const shared::Error &refusal)
{
    return refusal.code == ENOENT ? ExitCode::Cancel : ExitCode::Failed;
}

shared::Expected<JobRequest> JobRequest::parse(const std::vector<std::string> &arguments)
{
    auto refuse = [](std::string reason, int code = 0) {
        shared::Error error = shared::Error::because("accept", "the job", std::move(reason));
        error.code = code;
        return error;
    };
    if (arguments.size() != 5 && arguments.size() != 6)
        return refuse("Usage: corvanetavoren job-id user title copies options [file]");

    const std::string &jobId = arguments[0];
    if (jobId.empty() || jobId.size() > maximumJobIdLength
        || !std::all_of(jobId.begin(), jobId.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return refuse("Bad job id");

    const auto user = UserAccount::find(arguments[1]);
    // Nobody could ever collect the job: drop it rather than stop the queue.
    if (!user)
        return refuse("No such user for this job", ENOENT);

    JobRequest request;
    request.jobId = jobId;
    request.user = *user;
    request.documentName = documentNameOf(arguments[2]);
    if (arguments.size() == 6)
        request.file = arguments[5];
    return request;
}

} // namespace tavoren::printerbackend
