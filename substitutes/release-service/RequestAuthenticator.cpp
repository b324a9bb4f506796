#include "release-service/RequestAuthenticator.h"

#include <QString>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <charconv>

namespace tavoren::releaseservice {

namespace {

// The client sends the canonical form only: an optional minus, no leading
// zeros, no plus sign, no fraction.
bool parseTimestamp(std::string_view text, std::int64_t &value)
{
    const bool negative = text.starts_with('-');
    const std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || (digits.size() > 1 && digits.front() == '0') || (negative && digits == "0"))
        return false;
    const auto end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

} // namespace

RequestAuthenticator::RequestAuthenticator(std::int64_t windowSeconds)
    : m_window(windowSeconds)
{
}

std::string RequestAuthenticator::textToSign(std::string_view timestamp, std::string_view method, std::string_view docId)
{
    std::string text = "timestamp=";
    text += timestamp;
    text += "method=";
    text += method;
    text += "resource=/api/v2/drns/";
    text += docId;
    // Unicode-aware, as the client lower-cases job identifiers of any script.
    return QString::fromUtf8(text.data(), qsizetype(text.size())).toLower().toStdString();
}

std::string RequestAuthenticator::sign(std::string_view text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    HMAC(EVP_sha256(), signingKey.data(), int(signingKey.size()), reinterpret_cast<const unsigned char *>(text.data()),
         text.size(), digest, &digestLength);
    std::string encoded(4 * ((digestLength + 2) / 3), '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char *>(encoded.data()), digest, int(digestLength));
    encoded.resize(std::size_t(written));
    return encoded;
}

std::string RequestAuthenticator::check(const Headers &headers, std::string_view method, std::string_view docId,
                                        std::int64_t now) const
{
    // Each header is added once per request; a repeat means the client merged or re-sent.
    // The HTTP parser drops headers with empty values, so an absent serial
    // is the empty serial a computer without Ethernet sends.
    const auto single = [](const std::vector<std::string> &values, std::string_view name) -> std::string {
        if (values.empty() && name != "Tavoren-serial")
            return "missing " + std::string(name);
        if (values.size() > 1)
            return "repeated " + std::string(name);
        return {};
    };
    for (const auto &[values, name] : {std::pair{&headers.signature, "Tavoren-signature"},
                                       std::pair{&headers.timestamp, "Tavoren-timestamp"},
                                       std::pair{&headers.clientId, "Tavoren-clientid"},
                                       std::pair{&headers.serial, "Tavoren-serial"}}) {
        if (std::string problem = single(*values, name); !problem.empty())
            return problem;
    }
    if (headers.clientId.front() != clientId)
        return "unknown client id";
    std::int64_t timestamp = 0;
    if (!parseTimestamp(headers.timestamp.front(), timestamp))
        return "timestamp is not a decimal integer";
    // The distance in unsigned arithmetic: a hostile timestamp near the
    // int64 limits must not overflow the subtraction.
    const std::uint64_t distance = timestamp < now ? std::uint64_t(now) - std::uint64_t(timestamp)
                                                   : std::uint64_t(timestamp) - std::uint64_t(now);
    if (m_window < 0 || distance > std::uint64_t(m_window))
        return "timestamp outside the window";
    const std::string expected = sign(textToSign(headers.timestamp.front(), method, docId));
    const std::string &given = headers.signature.front();
    if (given.size() != expected.size() || CRYPTO_memcmp(given.data(), expected.data(), expected.size()) != 0)
        return "signature mismatch";
    return {};
}

} // namespace tavoren::releaseservice
