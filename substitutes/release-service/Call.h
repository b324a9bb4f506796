#pragma once

#include <optional>
#include <string_view>

namespace tavoren::releaseservice {

// The service's calls; faults and records are kept per call.
enum class Call { ServerTime, CreateJob, JobStatus, Other };

constexpr std::string_view callName(Call call)
{
    switch (call) {
    case Call::ServerTime: return "servertime";
    case Call::CreateJob: return "create";
    case Call::JobStatus: return "status";
    case Call::Other: break;
    }
    return "other";
}

constexpr std::optional<Call> callFromName(std::string_view name)
{
    for (Call call : {Call::ServerTime, Call::CreateJob, Call::JobStatus, Call::Other}) {
        if (callName(call) == name)
            return call;
    }
    return std::nullopt;
}

} // namespace tavoren::releaseservice
