#include "helper-tool/HelperArguments.h"

#include "shared/HelperProtocol.h"

#include <charconv>
#include <optional>

namespace tavoren::helpertool {

namespace {
template<typename Number>
std::optional<Number> decimal(const std::string &text, unsigned long long maximum)
{
    unsigned long long value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() || value > maximum)
        return std::nullopt;
    return Number(value);
}
} // namespace

shared::Expected<HelperArguments> HelperArguments::parse(const std::vector<std::string> &arguments)
{
    const auto refused = [](std::string why) { return shared::Error::because("read", "the command line", std::move(why)); };
    if (arguments == std::vector<std::string>{"--bless"})
        return HelperArguments{Mode::Bless, 0, -1};
    if (arguments.empty() || arguments[0] != "--daemon")
        return refused("neither --bless nor --daemon");
    HelperArguments result{Mode::Daemon, 0, -1};
    bool hasUid = false;
    for (std::size_t i = 1; i < arguments.size(); i += 2) {
        if (i + 1 >= arguments.size())
            return refused(arguments[i] + " without a value");
        const std::string &value = arguments[i + 1];
        if (arguments[i] == "--authorised-uid" && !hasUid) {
            const auto uid = decimal<uid_t>(value, static_cast<uid_t>(-2));
            if (!uid)
                return refused("the uid is not a number a user can have");
            result.authorisedUid = *uid;
            hasUid = true;
        } else if (arguments[i] == "--ready-fd" && result.readyFd < 0) {
            const auto fd = decimal<int>(value, 1 << 20);
            if (!fd)
                return refused("the ready descriptor is not a descriptor number");
            result.readyFd = *fd;
        } else {
            return refused("unknown or repeated option " + arguments[i]);
        }
    }
    if (!hasUid)
        return refused("--authorised-uid is missing");
    return result;
}

std::string HelperArguments::usage()
{
    return std::string("usage: ") + shared::HelperProtocol::label + " --bless\n       " + shared::HelperProtocol::label
           + " --daemon --authorised-uid N [--ready-fd K]\n";
}

} // namespace tavoren::helpertool
