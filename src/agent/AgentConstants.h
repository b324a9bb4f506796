#pragma once

#include "shared/HandOff.h"

#include <cstddef>

namespace tavoren::agent {

// Absolute system paths are used through shared::SystemPath::resolve.
inline constexpr const char *SOCKET_FULL_PATH = shared::HandOff::socketRoot;
inline constexpr const char *SOCKET_FILE = shared::HandOff::socketFile;
// "contents" in lower case, as the package has always spelled it; the bundle
// makes both spellings resolve on case-sensitive file systems.
inline constexpr const char *LAUNCHER_APP_PATH =
    "/Library/Printers/CorvaneTavoren/Corvane Tavoren for Mac.app/contents/MacOS/Corvane Tavoren for Mac";
inline constexpr const char *TEMPORARY_FILE_PATH = shared::HandOff::spoolRoot;

inline constexpr int LISTEN_BACKLOG = 5;
// Connections read at once; a few silent peers never hold up a real job.
inline constexpr std::size_t MAXIMUM_READERS = 16;
// Milliseconds a connection has to deliver its whole message (tests shorten it).
inline constexpr const char *READ_TIMEOUT_VARIABLE = "TAVOREN_AGENT_READ_TIMEOUT_MS";
// Milliseconds the agent waits for the print scheduler, to connect and for
// each answer (tests shorten or lengthen it).
inline constexpr const char *SCHEDULER_TIMEOUT_VARIABLE = "TAVOREN_AGENT_SCHEDULER_TIMEOUT_MS";
// The longest either setting may be.
inline constexpr long long MAXIMUM_TIMEOUT_MS = 600000;
// The folder of the local X servers' sockets (tests point it elsewhere).
inline constexpr const char *X11_SOCKET_FOLDER_VARIABLE = "TAVOREN_AGENT_X11_SOCKET_FOLDER";

// A job folder this young may belong to a job whose record is not written
// yet: the backend renames its file before it tells the agent.
inline constexpr long JOB_FOLDER_GRACE_SECONDS = 600;

} // namespace tavoren::agent
