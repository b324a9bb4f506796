#pragma once

#include "shared/Expected.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavoren::releaseservice {

// How one call misbehaves. A fault with a status, a body or a drop replaces
// the answer: the service does not perform the call (no job is created, the
// status sequence does not advance). A fault with only member edits, a delay
// or a shape lets the call happen and then edits, holds back or shapes its
// JSON answer. A shape changes how the answer's bytes go out (the call's
// own answer or the fault's body, after the edits), never what they say:
// produced while they are sent, so gigabytes cost no memory.
class Fault
{
public:
    std::optional<int> status;          // answer with this status code
    std::optional<std::string> body;    // answer with these bytes
    bool drop = false;                  // close the connection without an answer
    std::optional<std::string> location; // a "Location" header with the answer
    std::chrono::milliseconds delay{0}; // wait before answering
    std::vector<std::string> removeMembers;                     // from a JSON object answer
    std::vector<std::pair<std::string, std::string>> setMembers; // name, raw JSON value

    // The shape. Headers leave at once; the body then trickles one byte per
    // interval (each byte its own chunk when chunked), so a client's
    // inactivity time-out never fires however long the whole answer takes.
    std::chrono::milliseconds trickle{0};
    // "Transfer-Encoding: chunked" instead of a "Content-Length".
    bool chunkedTransfer = false;
    // The answer padded with spaces to this many bytes: inside its closing
    // '}' or ']' when it ends with one (so it stays one JSON value only if
    // read whole), after it otherwise; cut when longer.
    std::optional<std::uint64_t> paddedLength;
    // "Content-Encoding: gzip" over whatever would be sent; the
    // "Content-Length" of an unchunked answer is found by compressing twice.
    bool gzip = false;

    unsigned fromRequest = 1;     // first request of the call (counted from setting) it applies to
    std::optional<unsigned> times; // how many requests it applies to; none: all

    bool replacesAnswer() const { return drop || status.has_value() || body.has_value(); }
    bool editsAnswer() const { return !removeMembers.empty() || !setMembers.empty(); }
    bool shapesAnswer() const { return trickle.count() > 0 || chunkedTransfer || paddedLength || gzip; }

    static Fault withStatus(int code, std::optional<std::string> answer = std::nullopt);
    static Fault withBody(std::string answer);
    static Fault delayed(std::chrono::milliseconds wait);
    static Fault dropped();
    static Fault redirect(int code, std::string to);
    static Fault without(std::string member);
    static Fault withMember(std::string member, std::string rawJson);
    static Fault trickled(std::chrono::milliseconds interval);
    static Fault chunked(std::optional<std::uint64_t> length = std::nullopt);
    static Fault gzipped();
    // A compression bomb: padded to `length` and compressed, about a
    // kilobyte on the wire per megabyte it expands to.
    static Fault inflating(std::uint64_t length);
    Fault &from(unsigned request);
    Fault &only(unsigned count);

    // Text form used on the command line, items separated by commas:
    // http=CODE, delay=MS, drop, location=URL, without=MEMBER, from=N, times=N,
    // trickle=MS, chunked, chunked=BYTES (chunked and padded), gzip,
    // inflate=BYTES (padded and gzip), set=MEMBER:JSON and body=TEXT (these
    // two take the rest of the text, so they come last). BYTES is a decimal
    // number, at most 1 TiB, optionally followed by KiB, MiB or GiB; only one
    // of chunked=BYTES and inflate=BYTES (inflate=BYTES,chunked sends the
    // bomb chunked).
    static shared::Expected<Fault> parse(std::string_view text);
};

} // namespace tavoren::releaseservice
