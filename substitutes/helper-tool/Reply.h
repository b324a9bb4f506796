#pragma once

#include "shared/Error.h"

#include <string>

namespace tavoren::helpertool {

// The one line the helper answers a request with.
struct Reply
{
    enum class Outcome { Completed, Refused, Failed };

    Outcome outcome = Outcome::Refused;
    int status = 0; // exit status, for a completed command only
    std::string text;

    static Reply completed(int status, std::string text);
    static Reply refused(const std::string &reason);
    static Reply failed(const std::string &reason);
    // A request turned down before it runs; its text is the refused
    // reply's reason.
    static shared::Error refusal(std::string reason);

    static const char *outcomeName(Outcome outcome);
    // The JSON object and its line end, as sent.
    std::string toLine() const;
};

} // namespace tavoren::helpertool
