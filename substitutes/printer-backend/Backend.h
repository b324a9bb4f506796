#pragma once

#include "printer-backend/Cancellation.h"
#include "printer-backend/DocumentMerger.h"
#include "printer-backend/ExitCode.h"
#include "printer-backend/JobRequest.h"
#include "printer-backend/JobScheduler.h"
#include "printer-backend/JobSpooler.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tavoren::printerbackend {

// The backend program: spools the job for the user's agent and tells the
// agent. The device line goes to `output`; progress and failures go to
// `messages` as "INFO: ", "WARNING: " and "ERROR: " lines, which the
// scheduler shows every user as the printer's state, so they name no user
// and no path. The details go on "DEBUG: " lines, which the scheduler keeps
// in its log.
class Backend
{
public:
    struct Limits
    {
        std::uint64_t maximumBytes;
        std::chrono::milliseconds agentTimeout;
        DocumentMerger::Limits merge = DocumentMerger::defaultLimits;
        // How long an unlocked job folder of root's is spared as one being made.
        std::chrono::seconds staleFolderAge = JobSpooler::defaultStaleAge;
    };
    // Milliseconds to wait for the agent (1 to 600000) instead of 30 s.
    static constexpr const char *agentTimeoutVariable = "TAVOREN_BACKEND_AGENT_TIMEOUT_MS";
    static Limits defaultLimits();

    static constexpr const char *deviceLine = "direct corvanetavoren:/ \"Unknown\" \"Corvane Tavoren print release\"";

    // Once `cancel` is requested the job's folder goes and `run` returns
    // Retry: the scheduler that cancelled no longer cares, and a job ended
    // by anyone else is kept.
    //
    // A job the user's agent cannot take is held (`run` returns Hold) and
    // marked, so that the user's agent releases it when it starts. Before
    // each job the backend cancels through `scheduler` the held jobs that
    // waited longer than the administrator allows (no scheduler: held jobs
    // are left alone), and removes job folders stopped backends left.
    Backend(Limits limits, std::FILE *output, std::FILE *messages, Cancellation cancel = {},
            JobScheduler *scheduler = nullptr);

    // `arguments` without the program name; `input` is read when the
    // arguments name no file.
    ExitCode run(const std::vector<std::string> &arguments, int input) const;

    // Document name, separator, spooled path and the closing NUL, with the
    // name shortened (at a character boundary) so that it fits the agent's
    // buffer; empty when even the path alone does not fit.
    static std::string message(const std::string &documentName, const std::string &spooledFile);

private:
    // Whether this process may hand the job's files to its user; says why not.
    bool canHandFilesTo(const JobRequest &request) const;
    // The print file the arguments name, or an invalid descriptor (said why).
    shared::Descriptor openPrintFile(const std::string &path) const;
    // What came before this job and is nobody's any more.
    void tidyUp() const;
    // The job from `source` into its folder, then to the user's agent;
    // `opened` (the print file, if any) is closed once it is read.
    ExitCode spoolAndHandOn(const JobRequest &request, int source, shared::Descriptor opened) const;
    // The exit code for a job that could not be spooled, and the line
    // every user reads.
    ExitCode notSpooled(const std::string &jobId, const shared::Error &failure, const DocumentMerger::Result &prepared) const;
    // Says what became of a job of several documents.
    void reportMerge(const DocumentMerger::Result &prepared) const;
    // The spooled job's message to the agent, and what its answer means.
    ExitCode handOn(const JobRequest &request, const JobSpooler &spooler, const JobSpooler::SpooledJob &job) const;
    // The job the agent could not take: held with its marker, or, without
    // one, left to the scheduler to retry.
    ExitCode hold(const std::string &jobId, const std::string &cause) const;

    void info(const std::string &text) const;
    void warning(const std::string &text) const;
    void error(const std::string &text) const;
    void debug(const std::string &text) const;
    void line(const char *prefix, const std::string &text) const;

    Limits m_limits;
    std::FILE *m_output;
    std::FILE *m_messages;
    Cancellation m_cancel;
    JobScheduler *m_scheduler;
};

} // namespace tavoren::printerbackend
