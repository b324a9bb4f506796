#pragma once

#include "package-installer/CheckedEntry.h"
#include "package-installer/PayloadEntry.h"
#include "package-installer/PayloadLimits.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavoren::packageinstaller {

// Decides from the entries alone, before anything is written, whether a
// payload can be installed below its target without reaching outside it.
// Refused: absolute paths, ".." components, control characters, entries
// that are not files, folders or links (FIFOs, devices, sockets), links to
// absolute paths or leading out (followed through the payload's own links),
// hard links to anything but an earlier file of the payload, paths through a
// link or a file of the payload, the same path twice, and payloads beyond
// the limits.
class PayloadCheck
{
public:
    struct Result
    {
        std::vector<CheckedEntry> entries; // in archive order, when accepted
        std::string refusal;               // one sentence naming the first refused entry

        bool accepted() const { return refusal.empty(); }
    };

    // `item` names an entry in the refusal: "The payload item "./x" is a FIFO."
    static Result check(const std::vector<PayloadEntry> &entries, const PayloadLimits &limits,
                        std::string_view item = "payload item");

    // Where a link placed at `linkNames` ends up when followed from its own
    // folder, through the links of the payload (`links`: joined path to target).
    enum class LinkEnd { Inside, Outside, Loop };
    static LinkEnd follow(const std::vector<std::string> &linkNames, const std::string &target,
                          const std::vector<std::pair<std::string, std::string>> &links);
};

} // namespace tavoren::packageinstaller
