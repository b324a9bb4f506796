#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tavoren::releaseservice {

// One upload the service accepted.
struct JobRecord
{
    std::string docId;
    std::string ownerJson;           // the "Owner" part as received
    std::string emailTo;
    std::optional<std::string> ownerEmail;
    std::string contentDescription;  // the document name
    std::string storedFile;          // path of the received file bytes
    std::uint64_t fileSize = 0;
    std::string serial;              // the "Tavoren-serial" header
    std::chrono::system_clock::time_point received;
};

} // namespace tavoren::releaseservice
