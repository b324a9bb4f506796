#pragma once

#include "printer-backend/ExitCode.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tavoren::printerbackend {

// The backend program: spools the job for the user's agent and tells the
// agent. Progress and failures go to `messages` as "INFO: " and "ERROR: "
// lines, the device line to `output`.
class Backend
{
public:
    struct Limits
    {
        std::uint64_t maximumBytes;
        std::chrono::milliseconds agentTimeout;
    };
    static Limits defaultLimits();

    static constexpr const char *deviceLine = "direct corvanetavoren:/ \"Unknown\" \"Corvane Tavoren print release\"";

    Backend(Limits limits, std::FILE *output, std::FILE *messages);

    // `arguments` without the program name; `input` is read when the
    // arguments name no file.
    ExitCode run(const std::vector<std::string> &arguments, int input) const;

    // Document name, separator, spooled path and the closing NUL, with the
    // name shortened (at a character boundary) so that it fits the agent's
    // buffer; empty when even the path alone does not fit.
    static std::string message(const std::string &documentName, const std::string &spooledFile);

private:
    void info(const std::string &text) const;
    void error(const std::string &text) const;

    Limits m_limits;
    std::FILE *m_output;
    std::FILE *m_messages;
};

} // namespace tavoren::printerbackend
