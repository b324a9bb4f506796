#include "package-installer/PayloadCheck.h"

#include "package-installer/PayloadPath.h"

#include <algorithm>
#include <deque>
#include <map>

namespace tavoren::packageinstaller {

namespace {
using Kind = PayloadEntry::Kind;

std::string refused(std::string_view item, const PayloadEntry &entry, const std::string &why)
{
    return "The " + std::string(item) + " " + PayloadPath::shown(entry.path) + " " + why + ".";
}

const char *kindRefusal(Kind kind)
{
    switch (kind) {
    case Kind::Fifo:
        return "is a FIFO";
    case Kind::CharacterDevice:
    case Kind::BlockDevice:
        return "is a device";
    case Kind::Socket:
        return "is a socket";
    case Kind::Other:
        return "is neither a file, a folder nor a link";
    default:
        return nullptr;
    }
}

const std::string *lookUp(const std::vector<std::pair<std::string, std::string>> &links, const std::string &path)
{
    const auto found = std::lower_bound(links.begin(), links.end(), path,
                                        [](const auto &link, const std::string &key) { return link.first < key; });
    return found != links.end() && found->first == path ? &found->second : nullptr;
}
} // namespace

PayloadCheck::LinkEnd PayloadCheck::follow(const std::vector<std::string> &linkNames, const std::string &target,
                                           const std::vector<std::pair<std::string, std::string>> &links)
{
    // Links are followed as the system would, each expansion bounded like the
    // kernel's; anything that goes above the top at any point is outside.
    constexpr int maximumExpansions = 40;
    std::vector<std::string> place(linkNames.begin(), linkNames.end());
    if (!place.empty())
        place.pop_back();
    std::deque<std::string> pending;
    const auto queue = [&pending](const std::string &text) {
        std::deque<std::string> names;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('/', start);
            if (end == std::string::npos)
                end = text.size();
            names.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        pending.insert(pending.begin(), names.begin(), names.end());
    };
    if (target.empty() || target.front() == '/')
        return LinkEnd::Outside;
    queue(target);
    int expansions = 0;
    while (!pending.empty()) {
        const std::string name = pending.front();
        pending.pop_front();
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (place.empty())
                return LinkEnd::Outside;
            place.pop_back();
            continue;
        }
        place.push_back(name);
        if (const std::string *next = lookUp(links, PayloadPath::join(place))) {
            if (++expansions > maximumExpansions)
                return LinkEnd::Loop;
            place.pop_back();
            if (next->empty() || next->front() == '/')
                return LinkEnd::Outside;
            queue(*next);
        }
    }
    return LinkEnd::Inside;
}

PayloadCheck::Result PayloadCheck::check(const std::vector<PayloadEntry> &entries, const PayloadLimits &limits,
                                         std::string_view item)
{
    Result result;
    if (entries.size() > limits.maximumEntries) {
        result.refusal = "The " + std::string(item) + "s are more than " + std::to_string(limits.maximumEntries) + ".";
        return result;
    }
    std::vector<CheckedEntry> checked;
    checked.reserve(entries.size());
    std::map<std::string, Kind> kinds;
    std::vector<std::pair<std::string, std::string>> links;
    std::uint64_t contentBytes = 0;

    for (const PayloadEntry &entry : entries) {
        if (const char *why = kindRefusal(entry.kind)) {
            result.refusal = refused(item, entry, why);
            return result;
        }
        const auto names = PayloadPath::split(entry.path, limits);
        if (!names) {
            result.refusal = refused(item, entry, names.error().text);
            return result;
        }
        if (names->empty() && entry.kind != Kind::Folder) {
            result.refusal = refused(item, entry, "would replace the folder it is installed in");
            return result;
        }
        const std::string joined = PayloadPath::join(*names);
        if (!kinds.emplace(joined, entry.kind).second) {
            result.refusal = refused(item, entry, "appears twice");
            return result;
        }
        CheckedEntry accepted{entry, *names, {}};
        accepted.entry.content.clear();
        accepted.entry.contentFile.clear();
        if (entry.kind == Kind::File) {
            contentBytes += entry.size;
            if (entry.size > limits.maximumContentBytes || contentBytes > limits.maximumContentBytes) {
                result.refusal = "The " + std::string(item) + "s hold more than " + std::to_string(limits.maximumContentBytes) + " bytes.";
                return result;
            }
        } else {
            accepted.entry.size = 0;
        }
        if (entry.kind == Kind::SymbolicLink) {
            std::string why;
            if (entry.link.empty())
                why = "is a link to nothing";
            else if (entry.link.size() > limits.maximumPathBytes)
                why = "is a link with an over-long target";
            else if (PayloadPath::hasControlCharacter(entry.link))
                why = "is a link with a control character in its target";
            else if (entry.link.front() == '/')
                why = "is a link to an absolute path";
            if (!why.empty()) {
                result.refusal = refused(item, entry, why);
                return result;
            }
            links.emplace_back(joined, entry.link);
        }
        if (entry.kind == Kind::HardLink) {
            const auto joins = PayloadPath::split(entry.link, limits);
            if (!joins) {
                result.refusal = refused(item, entry, "is a hard link that leads out of the target");
                return result;
            }
            const auto earlier = kinds.find(PayloadPath::join(*joins));
            if (joins->empty() || earlier == kinds.end() || earlier->first == joined || earlier->second != Kind::File) {
                result.refusal = refused(item, entry, "is a hard link to something that is not an earlier file of the payload");
                return result;
            }
            accepted.joins = *joins;
        }
        checked.push_back(std::move(accepted));
    }

    // With every entry known: nothing may lie behind a link or a file of the
    // payload, and links must stay inside.
    std::sort(links.begin(), links.end());
    for (const CheckedEntry &entry : checked) {
        for (std::size_t depth = 1; depth < entry.names.size(); ++depth) {
            const auto above = kinds.find(PayloadPath::join(entry.names, depth));
            if (above == kinds.end() || above->second == Kind::Folder)
                continue;
            const bool link = above->second == Kind::SymbolicLink;
            result.refusal = refused(item, entry.entry, std::string(link ? "lies behind the link " : "lies below the file ")
                                                     + PayloadPath::shown(above->first) + " of the payload");
            return result;
        }
        if (entry.entry.kind != Kind::SymbolicLink)
            continue;
        switch (follow(entry.names, entry.entry.link, links)) {
        case LinkEnd::Inside:
            break;
        case LinkEnd::Outside:
            result.refusal = refused(item, entry.entry, "is a link that leads out of the target");
            return result;
        case LinkEnd::Loop:
            result.refusal = refused(item, entry.entry, "is a link that loops");
            return result;
        }
    }
    result.entries = std::move(checked);
    return result;
}

} // namespace tavoren::packageinstaller
