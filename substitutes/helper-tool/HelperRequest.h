#pragma once

#include "shared/Expected.h"
#include "shared/HelperProtocol.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavoren::helpertool {

// What one request line asks for: a JSON object of string members.
struct HelperRequest
{
    static constexpr const char *commandMember = shared::HelperProtocol::commandMember;
    static constexpr const char *progressMember = shared::HelperProtocol::progressMember;

    std::string command;                     // UTF-8
    std::optional<std::string> progressPath; // UTF-8

    // The request, or the refusal whose text is the reason.
    static shared::Expected<HelperRequest> parse(std::string_view line);
};

} // namespace tavoren::helpertool
