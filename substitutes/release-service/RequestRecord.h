#pragma once

#include "release-service/Call.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavoren::releaseservice {

// What the service saw of one request and what it answered.
struct RequestRecord
{
    Call call = Call::Other;
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;
    int status = 0;        // 0: the connection was dropped without an answer
    std::string error;     // why the service refused, empty when it did not
    bool faulted = false;  // an injected fault shaped the answer
    std::string remoteAddress;
    std::chrono::system_clock::time_point received;

    // First value of a header, names compared without case as in HTTP.
    std::optional<std::string> header(std::string_view name) const
    {
        const auto sameName = [name](const auto &entry) {
            return std::ranges::equal(entry.first, name, [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            });
        };
        const auto it = std::ranges::find_if(headers, sameName);
        if (it == headers.end())
            return std::nullopt;
        return it->second;
    }
};

} // namespace tavoren::releaseservice
