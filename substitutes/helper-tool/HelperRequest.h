#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tavoren::helpertool {

// What one request line asks for: a JSON object of string members.
struct HelperRequest
{
    static constexpr const char *commandMember = "command_to_be_execute";
    static constexpr const char *progressMember = "installerlog_file_path";

    std::string command;                     // UTF-8
    std::optional<std::string> progressPath; // UTF-8

    // The request, or the reason it is refused.
    struct Refusal
    {
        std::string reason;
    };
    static std::variant<HelperRequest, Refusal> parse(std::string_view line);
};

} // namespace tavoren::helpertool
