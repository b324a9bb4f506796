#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavoren::releaseservice {

// Checks the identification headers of the two job calls. It computes the
// signature itself, apart from the client, so the two cross-check.
class RequestAuthenticator
{
public:
    static constexpr std::string_view signingKey = "8Hq%V27%5Lm&Xw3c";
    static constexpr std::string_view clientId = "6f2b8e41-0c7d-4a93-b5e6-19d4c3a7f802";

    // Every value of each header as received, so duplicates are seen.
    struct Headers
    {
        std::vector<std::string> signature;
        std::vector<std::string> timestamp;
        std::vector<std::string> clientId;
        std::vector<std::string> serial;
    };

    explicit RequestAuthenticator(std::int64_t windowSeconds = 300);

    static std::string textToSign(std::string_view timestamp, std::string_view method, std::string_view docId);
    // Base64 of HMAC-SHA256 with the signing key.
    static std::string sign(std::string_view text);

    // Empty when the request may pass, otherwise why not. `now` is the
    // service clock in seconds since 1970.
    std::string check(const Headers &headers, std::string_view method, std::string_view docId, std::int64_t now) const;

private:
    std::int64_t m_window;
};

} // namespace tavoren::releaseservice
