#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavoren::releaseservice {

// How one call misbehaves. A fault with a status, a body or a drop replaces
// the answer: the service does not perform the call (no job is created, the
// status sequence does not advance). A fault with only member edits or a
// delay lets the call happen and then edits or holds back its JSON answer.
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

    unsigned fromRequest = 1;     // first request of the call (counted from setting) it applies to
    std::optional<unsigned> times; // how many requests it applies to; none: all

    bool replacesAnswer() const { return drop || status.has_value() || body.has_value(); }
    bool editsAnswer() const { return !removeMembers.empty() || !setMembers.empty(); }

    static Fault withStatus(int code, std::optional<std::string> answer = std::nullopt);
    static Fault withBody(std::string answer);
    static Fault delayed(std::chrono::milliseconds wait);
    static Fault dropped();
    static Fault redirect(int code, std::string to);
    static Fault without(std::string member);
    static Fault withMember(std::string member, std::string rawJson);
    Fault &from(unsigned request);
    Fault &only(unsigned count);

    // Text form used on the command line, items separated by commas:
    // http=CODE, delay=MS, drop, location=URL, without=MEMBER, from=N, times=N,
    // set=MEMBER:JSON and body=TEXT (these two take the rest of the text).
    static std::optional<Fault> parse(std::string_view text, std::string *error = nullptr);
};

} // namespace tavoren::releaseservice
