#include "printer-backend/Backend.h"

#include "shared/HandOff.h"
#include "printer-backend/AgentNotifier.h"
#include "printer-backend/JobRequest.h"
#include "printer-backend/JobSpooler.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace tavoren::printerbackend {

Backend::Limits Backend::defaultLimits()
{
    return {JobSpooler::defaultMaximumBytes, std::chrono::seconds(30)};
}

Backend::Backend(Limits limits, std::FILE *output, std::FILE *messages)
    : m_limits(limits)
    , m_output(output)
    , m_messages(messages)
{
}

void Backend::info(const std::string &text) const
{
    std::fprintf(m_messages, "INFO: %s\n", text.c_str());
    std::fflush(m_messages);
}

void Backend::error(const std::string &text) const
{
    std::fprintf(m_messages, "ERROR: %s\n", text.c_str());
    std::fflush(m_messages);
}

std::string Backend::message(const std::string &documentName, const std::string &spooledFile)
{
    const std::string_view separator = shared::HandOff::jobArgumentSeparator;
    const std::size_t room = std::size_t(shared::HandOff::messageBufferSize) - 1;
    if (separator.size() + spooledFile.size() >= room)
        return {};
    std::size_t nameLength = std::min(documentName.size(), room - separator.size() - spooledFile.size());
    // Never cut a character in two.
    while (nameLength > 0 && nameLength < documentName.size()
           && (static_cast<unsigned char>(documentName[nameLength]) & 0xC0) == 0x80)
        --nameLength;
    std::string result = documentName.substr(0, nameLength);
    result.append(separator);
    result.append(spooledFile);
    result.push_back('\0');
    return result;
}

ExitCode Backend::run(const std::vector<std::string> &arguments, int input) const
{
    if (arguments.empty()) {
        std::fprintf(m_output, "%s\n", deviceLine);
        std::fflush(m_output);
        return ExitCode::Ok;
    }
    JobRequest::Refusal refusal;
    const auto request = JobRequest::parse(arguments, &refusal);
    if (!request) {
        error(refusal.reason);
        return refusal.code;
    }
    // Only root can hand the job's files to the user; as anyone else they
    // would be private to the backend, and the user's client could not read them.
    if (::geteuid() != 0 && ::geteuid() != request->user.uid) {
        error("Cannot spool for " + request->user.name + ": the backend runs neither as root nor as that user");
        return ExitCode::Failed;
    }

    int source = input;
    if (request->file) {
        source = ::open(request->file->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (source < 0) {
            error("Cannot open the print file: " + std::string(std::strerror(errno)));
            return ExitCode::Failed;
        }
    }
    info("Spooling job " + request->jobId + " for " + request->user.name);
    const JobSpooler spooler(shared::SystemPath::resolve(shared::HandOff::spoolRoot), m_limits.maximumBytes);
    JobSpooler::Failure failure;
    const auto job = spooler.spool(source, request->jobId, request->user, &failure);
    if (request->file)
        ::close(source);
    if (!job) {
        error(failure.reason);
        return failure.tooLarge ? ExitCode::Cancel : ExitCode::Failed;
    }

    const std::string text = message(request->documentName, job->file);
    if (text.empty()) {
        spooler.discard(*job);
        error("The spool path is too long for the agent's message");
        return ExitCode::Failed;
    }
    const AgentNotifier notifier(m_limits.agentTimeout);
    const AgentNotifier::Outcome outcome = notifier.send(request->user, text);
    if (!outcome.delivered) {
        // Nobody would take the folder: leave nothing behind, and let the
        // scheduler keep the job until the user's agent runs again.
        spooler.discard(*job);
        error("The hand-off agent of " + request->user.name + " cannot be reached (" + outcome.reason
              + "); the job will be retried");
        return ExitCode::Retry;
    }
    info("Job " + request->jobId + " handed to the hand-off agent of " + request->user.name);
    return ExitCode::Ok;
}

} // namespace tavoren::printerbackend
