#include "release-service/Fault.h"

#include "release-service/DecimalNumber.h"

namespace tavoren::releaseservice {

namespace {

shared::Error failure(std::string message)
{
    return shared::Error::because("read a fault", "", std::move(message));
}

constexpr std::uint64_t maxLength = std::uint64_t(1) << 40;

// A decimal byte count with an optional binary unit, at most maxLength.
std::optional<std::uint64_t> parseLength(std::string_view text)
{
    std::uint64_t unit = 1;
    if (text.ends_with("KiB"))
        unit = std::uint64_t(1) << 10;
    else if (text.ends_with("MiB"))
        unit = std::uint64_t(1) << 20;
    else if (text.ends_with("GiB"))
        unit = std::uint64_t(1) << 30;
    if (unit != 1)
        text.remove_suffix(3);
    std::uint64_t count = 0;
    if (!parseDecimal(text, count) || count > maxLength / unit)
        return std::nullopt;
    return count * unit;
}

} // namespace

Fault Fault::withStatus(int code, std::optional<std::string> answer)
{
    Fault fault;
    fault.status = code;
    fault.body = std::move(answer);
    return fault;
}

Fault Fault::withBody(std::string answer)
{
    Fault fault;
    fault.body = std::move(answer);
    return fault;
}

Fault Fault::delayed(std::chrono::milliseconds wait)
{
    Fault fault;
    fault.delay = wait;
    return fault;
}

Fault Fault::dropped()
{
    Fault fault;
    fault.drop = true;
    return fault;
}

Fault Fault::redirect(int code, std::string to)
{
    Fault fault = withStatus(code, std::string());
    fault.location = std::move(to);
    return fault;
}

Fault Fault::without(std::string member)
{
    Fault fault;
    fault.removeMembers.push_back(std::move(member));
    return fault;
}

Fault Fault::withMember(std::string member, std::string rawJson)
{
    Fault fault;
    fault.setMembers.emplace_back(std::move(member), std::move(rawJson));
    return fault;
}

Fault Fault::trickled(std::chrono::milliseconds interval)
{
    Fault fault;
    fault.trickle = interval;
    return fault;
}

Fault Fault::chunked(std::optional<std::uint64_t> length)
{
    Fault fault;
    fault.chunkedTransfer = true;
    fault.paddedLength = length;
    return fault;
}

Fault Fault::gzipped()
{
    Fault fault;
    fault.gzip = true;
    return fault;
}

Fault Fault::inflating(std::uint64_t length)
{
    Fault fault;
    fault.paddedLength = length;
    fault.gzip = true;
    return fault;
}

Fault &Fault::from(unsigned request)
{
    fromRequest = request;
    return *this;
}

Fault &Fault::only(unsigned count)
{
    times = count;
    return *this;
}

shared::Expected<Fault> Fault::parse(std::string_view text)
{
    Fault fault;
    bool any = false;
    while (!text.empty()) {
        const auto comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        const auto equals = item.find('=');
        const std::string_view key = item.substr(0, equals);
        // Body and member values may hold commas, so they run to the end.
        if (key == "body" || key == "set") {
            item = text;
            text = {};
        } else {
            text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        }
        const std::string_view value = equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
        const bool hasValue = equals != std::string_view::npos;

        if (key == "drop" && !hasValue) {
            fault.drop = true;
        } else if (key == "gzip" && !hasValue) {
            fault.gzip = true;
        } else if (key == "chunked" && !hasValue) {
            fault.chunkedTransfer = true;
        } else if ((key == "chunked" || key == "inflate") && hasValue) {
            const std::optional<std::uint64_t> length = parseLength(value);
            if (!length || (key == "inflate" && *length == 0))
                return failure("bad length: " + std::string(value));
            if (fault.paddedLength)
                return failure("a fault takes one length, chunked=BYTES or inflate=BYTES: " + std::string(item));
            fault.paddedLength = length;
            if (key == "chunked")
                fault.chunkedTransfer = true;
            else
                fault.gzip = true;
        } else if (key == "trickle" && hasValue) {
            long long ms = 0;
            if (!parseDecimal(value, ms) || ms <= 0)
                return failure("bad trickle interval: " + std::string(value));
            fault.trickle = std::chrono::milliseconds(ms);
        } else if (key == "http" && hasValue) {
            int code = 0;
            if (!parseDecimal(value, code) || code < 100 || code > 599)
                return failure("bad status code: " + std::string(value));
            fault.status = code;
        } else if (key == "delay" && hasValue) {
            long long ms = 0;
            if (!parseDecimal(value, ms) || ms < 0)
                return failure("bad delay: " + std::string(value));
            fault.delay = std::chrono::milliseconds(ms);
        } else if (key == "location" && hasValue) {
            fault.location = std::string(value);
        } else if (key == "without" && hasValue && !value.empty()) {
            fault.removeMembers.emplace_back(value);
        } else if (key == "set" && hasValue && value.find(':') != std::string_view::npos) {
            const auto colon = value.find(':');
            fault.setMembers.emplace_back(std::string(value.substr(0, colon)), std::string(value.substr(colon + 1)));
        } else if (key == "body" && hasValue) {
            fault.body = std::string(value);
        } else if (key == "from" && hasValue) {
            if (!parseDecimal(value, fault.fromRequest) || fault.fromRequest == 0)
                return failure("bad request number: " + std::string(value));
            continue;
        } else if (key == "times" && hasValue) {
            unsigned count = 0;
            if (!parseDecimal(value, count))
                return failure("bad count: " + std::string(value));
            fault.times = count;
            continue;
        } else {
            return failure("unknown fault item: " + std::string(item));
        }
        any = true;
    }
    if (!any)
        return failure("a fault needs http, body, delay, drop, without, set, trickle, chunked, gzip or inflate");
    return fault;
}

} // namespace tavoren::releaseservice
