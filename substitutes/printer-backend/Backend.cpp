#include "printer-backend/Backend.h"

#include "printer-backend/AgentNotifier.h"
#include "printer-backend/DocumentMerger.h"
#include "printer-backend/HeldJobExpiry.h"
#include "printer-backend/HeldJobs.h"
#include "printer-backend/JobRequest.h"
#include "printer-backend/JobSpooler.h"
#include "shared/Descriptor.h"
#include "shared/EnvironmentSetting.h"
#include "shared/HandOff.h"
#include "shared/InstalledPaths.h"
#include "shared/JobArgument.h"
#include "shared/SystemPath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace tavoren::printerbackend {

namespace {
// Milliseconds from the environment, 1 to 10 minutes; otherwise 30 s.
std::chrono::milliseconds agentTimeout()
{
    return shared::EnvironmentSetting::milliseconds(Backend::agentTimeoutVariable, std::chrono::seconds(30),
                                                    std::chrono::minutes(10));
}

shared::Expected<void> refusalOf(const DocumentMerger::Result &prepared)
{
    using Kind = JobSpooler::FailureKind;
    switch (prepared.outcome) {
    case DocumentMerger::Outcome::NotPdf:
        return JobSpooler::failure("The job does not begin as a PDF document", Kind::Refused);
    case DocumentMerger::Outcome::Cancelled:
        return JobSpooler::failure("Cancelled while merging the documents", Kind::Cancelled);
    case DocumentMerger::Outcome::Failed:
        return JobSpooler::failure(prepared.detail, Kind::Failed);
    case DocumentMerger::Outcome::TooMany:
    case DocumentMerger::Outcome::TooLarge:
        return JobSpooler::failure(prepared.detail, Kind::Refused);
    case DocumentMerger::Outcome::Single:
    case DocumentMerger::Outcome::Merged:
    case DocumentMerger::Outcome::KeptWhole:
        break;
    }
    return {};
}

// What every user may read about a hand-off that did not happen.
std::string handOffFailure(AgentNotifier::Answer answer)
{
    switch (answer) {
    case AgentNotifier::Answer::NotStarted:
        return "The hand-off agent could not start the print release client";
    case AgentNotifier::Answer::NoAnswer:
        return "The hand-off agent did not answer in time";
    case AgentNotifier::Answer::ClosedWithoutAnswer:
        return "The hand-off agent ended before it answered";
    default:
        return "The hand-off agent cannot be reached";
    }
}
} // namespace

Backend::Limits Backend::defaultLimits()
{
    return {JobSpooler::defaultMaximumBytes, agentTimeout(), DocumentMerger::defaultLimits};
}

Backend::Backend(Limits limits, std::FILE *output, std::FILE *messages, Cancellation cancel, JobScheduler *scheduler)
    : m_limits(limits)
    , m_output(output)
    , m_messages(messages)
    , m_cancel(cancel)
    , m_scheduler(scheduler)
{
}

void Backend::tidyUp() const
{
    const auto log = [this](const std::string &text) { debug(text); };
    JobSpooler(shared::SystemPath::resolve(shared::HandOff::spoolRoot), m_limits.maximumBytes)
        .removeStale(m_limits.staleFolderAge, log);
    if (!m_scheduler)
        return;
    const HeldJobs held(HeldJobs::folderInForce());
    HeldJobExpiry(held, *m_scheduler, shared::HandOff::queueName, shared::SystemPath::resolve(shared::InstalledPaths::adminFile), log)
        .run();
}

ExitCode Backend::hold(const std::string &jobId, const std::string &cause) const
{
    const HeldJobs held(HeldJobs::folderInForce());
    if (const auto marked = held.hold(jobId); !marked) {
        // Unmarked, no agent would release it and nothing would give it
        // up: the scheduler's own retries are better than that.
        error(cause + "; the job will be retried");
        debug("Job " + jobId + " not marked as held: " + marked.error().description());
        return ExitCode::Retry;
    }
    warning(cause + "; the job waits for its user");
    debug("Job " + jobId + " held, marked in " + held.folder());
    return ExitCode::Hold;
}

void Backend::line(const char *prefix, const std::string &text) const
{
    // One line each: a line end in a path or a reason must not start a
    // line of another kind.
    std::string clean = prefix;
    clean.append(": ");
    for (const char c : text)
        clean.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
    clean.push_back('\n');
    std::fwrite(clean.data(), 1, clean.size(), m_messages);
    std::fflush(m_messages);
}

void Backend::info(const std::string &text) const
{
    line("INFO", text);
}

void Backend::warning(const std::string &text) const
{
    line("WARNING", text);
}

void Backend::error(const std::string &text) const
{
    line("ERROR", text);
}

void Backend::debug(const std::string &text) const
{
    line("DEBUG", text);
}

std::string Backend::message(const std::string &documentName, const std::string &spooledFile)
{
    constexpr std::string_view separator = shared::JobArgument::separator;
    const std::size_t room = std::size_t(shared::HandOff::messageBufferSize) - 1;
    if (separator.size() + spooledFile.size() >= room)
        return {};
    std::size_t nameLength = std::min(documentName.size(), room - separator.size() - spooledFile.size());
    // Never cut a character in two.
    while (nameLength > 0 && nameLength < documentName.size()
           && (static_cast<unsigned char>(documentName[nameLength]) & 0xC0) == 0x80)
        --nameLength;
    std::string result = shared::JobArgument::compose(std::string_view(documentName).substr(0, nameLength), spooledFile);
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
    const auto request = JobRequest::parse(arguments);
    if (!request) {
        error(request.error().text);
        return JobRequest::exitCodeOf(request.error());
    }
    if (!canHandFilesTo(*request))
        return ExitCode::Failed;
    shared::Descriptor opened;
    if (request->file) {
        opened = openPrintFile(*request->file);
        if (!opened)
            return ExitCode::Failed;
    }
    tidyUp();
    if (m_cancel.requested())
        return ExitCode::Retry;
    const int source = opened ? opened.get() : input;
    return spoolAndHandOn(*request, source, std::move(opened));
}

bool Backend::canHandFilesTo(const JobRequest &request) const
{
    // Only root can hand the job's files to the user; as anyone else they
    // would be private to the backend, and the user's client could not read them.
    if (::geteuid() == 0 || ::geteuid() == request.user.uid)
        return true;
    error("Cannot spool the job: the backend runs neither as root nor as the job's user");
    debug("Job " + request.jobId + " is " + request.user.name + "'s; the backend runs as user id "
          + std::to_string(::geteuid()));
    return false;
}

shared::Descriptor Backend::openPrintFile(const std::string &path) const
{
    shared::Descriptor opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!opened) {
        const int reason = errno;
        error("Cannot open the print file");
        debug("Cannot open " + path + ": " + std::strerror(reason));
    }
    return opened;
}

ExitCode Backend::spoolAndHandOn(const JobRequest &request, int source, shared::Descriptor opened) const
{
    const std::string &jobId = request.jobId;
    const std::string spoolRoot = shared::SystemPath::resolve(shared::HandOff::spoolRoot);
    info("Spooling job " + jobId);
    debug("Spooling job " + jobId + " of " + request.user.name + " below " + spoolRoot);

    // Several documents become one before the file gets its final name, so
    // the client only ever sees the finished document.
    const DocumentMerger merger(m_cancel, m_limits.merge);
    DocumentMerger::Result prepared;
    const JobSpooler::Finisher finish = [&](int folderFd, const std::string &temporaryName) {
        prepared = merger.prepare(folderFd, temporaryName);
        return refusalOf(prepared);
    };
    const JobSpooler spooler(spoolRoot, m_limits.maximumBytes);
    const auto job = spooler.spool(source, jobId, request.user, m_cancel, finish);
    opened.reset();
    if (prepared.peakKiB > 0)
        debug("Merging job " + jobId + " took at most " + std::to_string(prepared.peakKiB) + " KiB of memory");
    if (!job)
        return notSpooled(jobId, job.error(), prepared);
    debug("Job " + jobId + " spooled as " + job->file);
    reportMerge(prepared);
    return handOn(request, spooler, *job);
}

ExitCode Backend::notSpooled(const std::string &jobId, const shared::Error &failure,
                             const DocumentMerger::Result &prepared) const
{
    debug("Job " + jobId + " not spooled: " + failure.text);
    switch (JobSpooler::kindOf(failure)) {
    case JobSpooler::FailureKind::Cancelled:
        return ExitCode::Retry;
    case JobSpooler::FailureKind::TooLarge:
        error("The job is larger than the backend takes (" + std::to_string(m_limits.maximumBytes) + " bytes)");
        return ExitCode::Cancel;
    case JobSpooler::FailureKind::Refused:
        if (prepared.outcome == DocumentMerger::Outcome::TooMany)
            error("The job has more than " + std::to_string(DocumentMerger::maximumDocuments)
                  + " documents; print them in smaller jobs");
        else if (prepared.outcome == DocumentMerger::Outcome::TooLarge)
            error("The job's documents are too large to merge into one; print them in smaller jobs");
        else
            error("The job is not a PDF document; this printer takes PDF only");
        return ExitCode::Cancel;
    case JobSpooler::FailureKind::Failed:
        break;
    }
    error("Cannot spool the job");
    return ExitCode::Failed;
}

void Backend::reportMerge(const DocumentMerger::Result &prepared) const
{
    if (prepared.outcome == DocumentMerger::Outcome::Merged) {
        info("Merged " + std::to_string(prepared.documents) + " documents into one of " + std::to_string(prepared.pages)
             + " pages");
    } else if (prepared.outcome == DocumentMerger::Outcome::KeptWhole) {
        warning("The job's " + std::to_string(prepared.documents)
                + " documents could not be merged into one; the job is handed on as it came");
        debug("Not merged: " + prepared.detail);
    }
}

ExitCode Backend::handOn(const JobRequest &request, const JobSpooler &spooler, const JobSpooler::SpooledJob &job) const
{
    const std::string &jobId = request.jobId;
    const std::string &userName = request.user.name;
    const std::string text = message(request.documentName, job.file);
    if (text.empty()) {
        spooler.discard(job);
        error("Cannot hand the job on: the spool path is too long for the agent's message");
        return ExitCode::Failed;
    }
    const AgentNotifier notifier(m_limits.agentTimeout);
    const AgentNotifier::Outcome outcome = notifier.send(request.user, text, m_cancel);
    switch (outcome.answer) {
    case AgentNotifier::Answer::Started:
        info("Job " + jobId + " handed to the hand-off agent");
        debug("Job " + jobId + " handed to the hand-off agent of " + userName);
        // Held before, it waits no more.
        if (const auto released = HeldJobs(HeldJobs::folderInForce()).release(jobId); !released)
            debug("Job " + jobId + ": " + released.error().description());
        return ExitCode::Ok;
    case AgentNotifier::Answer::Cancelled:
        // Whatever the agent got, the folder goes: a cancelled job is
        // nobody's to release.
        spooler.discard(job);
        debug("Job " + jobId + " cancelled while handing it to the agent of " + userName);
        return ExitCode::Retry;
    case AgentNotifier::Answer::NotStarted:
    case AgentNotifier::Answer::ClosedWithoutAnswer:
    case AgentNotifier::Answer::NoAnswer:
    case AgentNotifier::Answer::Unreachable:
        break;
    }
    // Nobody would take the folder: leave nothing behind, and let the
    // scheduler keep the job until the user's agent can take it.
    spooler.discard(job);
    debug("Job " + jobId + " not handed to the agent of " + userName + ": " + outcome.reason);
    return hold(jobId, handOffFailure(outcome.answer));
}

} // namespace tavoren::printerbackend
