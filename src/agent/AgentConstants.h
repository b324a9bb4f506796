#pragma once

namespace tavoren::agent {

// Absolute system paths are used through shared::SystemPath::resolve.
inline constexpr const char *SOCKET_FULL_PATH = "/private/tmp/Corvane_Tavoren_Socket";
inline constexpr const char *SOCKET_FILE = "com.corvane.TavorenAgentApp.socket";
// "contents" in lower case, as the package has always spelled it; the bundle
// makes both spellings resolve on case-sensitive file systems.
inline constexpr const char *LAUNCHER_APP_PATH =
    "/Library/Printers/CorvaneTavoren/Corvane Tavoren for Mac.app/contents/MacOS/Corvane Tavoren for Mac";
inline constexpr const char *TEMPORARY_FILE_PATH = "/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver";
inline constexpr const char *MUTEX_CURRENTPROCESSEDFOLDER = "currentprocessedfolder";

// The job argument's separator and the end of the job argument in a message.
inline constexpr const char *JOB_ARGUMENT_SEPARATOR = ":: ::";
inline constexpr const char *MESSAGE_END_SEPARATOR = "|| ||";
inline constexpr int MESSAGE_BUFFER_SIZE = 1024;
inline constexpr int LISTEN_BACKLOG = 5;

// A job folder this young may belong to a job whose record is not written
// yet: the backend renames its file before it tells the agent.
inline constexpr long JOB_FOLDER_GRACE_SECONDS = 600;

} // namespace tavoren::agent
