#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavoren::releaseservice {

// The bytes of one shaped answer as they go out: the answer text, padded
// with spaces to a length when one is given (see Fault::paddedLength), then
// gzip-compressed when asked. Produced piece by piece, so an answer of
// gigabytes costs a few hundred kilobytes.
class AnswerStream
{
public:
    AnswerStream(std::string text, std::optional<std::uint64_t> paddedLength, bool gzip);
    ~AnswerStream();
    AnswerStream(const AnswerStream &) = delete;
    AnswerStream &operator=(const AnswerStream &) = delete;

    // The next bytes, at most `limit`; empty at the end or after a failure.
    // Valid until the next call.
    std::string_view next(std::size_t limit);
    bool failed() const { return m_failed; }

    // Produces the whole stream once to count it, for a "Content-Length";
    // none when `keepGoing` says stop (asked between pieces) or on failure.
    static std::optional<std::uint64_t> length(const std::string &text, std::optional<std::uint64_t> paddedLength,
                                               bool gzip, const std::function<bool()> &keepGoing);

private:
    struct Compressor;

    // The uncompressed bytes: m_head, m_padding spaces, m_tail.
    std::string_view nextPlain(std::size_t limit);
    std::string_view nextCompressed(std::size_t limit);

    std::string m_head;
    std::uint64_t m_padding = 0;
    std::string m_tail;
    std::uint64_t m_position = 0; // in the uncompressed bytes
    std::unique_ptr<Compressor> m_compressor;
    bool m_failed = false;
};

} // namespace tavoren::releaseservice
