#pragma once

#include <csignal>

namespace tavoren::shared {

// What the printer backend, the hand-off agent and the client agree on: where
// the agent listens, where jobs are spooled, and the shape of one message.
// Absolute paths are used through SystemPath::resolve.
struct HandOff
{
    // One folder per user below it, holding that user's agent socket.
    static constexpr const char *socketRoot = "/private/tmp/Corvane_Tavoren_Socket";
    static constexpr const char *socketFile = "com.corvane.TavorenAgentApp.socket";
    // One folder per job below it.
    static constexpr const char *spoolRoot = "/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver";

    // The job argument: document name, this separator, spooled file path.
    static constexpr const char *jobArgumentSeparator = ":: ::";
    // Ends the job argument inside a message.
    static constexpr const char *messageEndSeparator = "|| ||";
    // The agent reads at most this much of one message.
    static constexpr int messageBufferSize = 1024;
    // After the message, the agent answers with one of these bytes once it
    // has tried to start the client, then closes.
    static constexpr char clientStarted = '1';
    static constexpr char clientNotStarted = '0';

    // Jobs the backend holds because their user's agent could not take
    // them: an empty file per job, named by its job id (decimal), in this
    // folder, which is root's and writable by root alone; the file's time
    // is when the job was first held. The agent releases its user's held
    // jobs that have one; the backend gives a job up (cancels it) once it
    // has waited longer than the administrator's "heldjobdays" in the admin
    // file, InstalledPaths::adminFile (defaultHeldJobDays when the file has
    // none), and removes the file
    // once the job has been handed to an agent or is gone.
    static constexpr const char *heldJobsFolder = "/var/log/cups/corvanetavorencups/held";
    static constexpr const char *heldJobDaysKey = "heldjobdays";
    static constexpr int defaultHeldJobDays = 7;

    // A running agent told with this signal (SIGHUP) starts itself again
    // from its installed file, as it was started: how an upgrade's new
    // agent takes over from the old one without a new login.
    static constexpr int agentRestartSignal = SIGHUP;

    // The print queue the driver package makes, and the print scheduler's
    // local socket (the system's default).
    static constexpr const char *queueName = "Corvane_Tavoren";
    static constexpr const char *schedulerSocket = "/run/cups/cups.sock";
};

} // namespace tavoren::shared
