#include "release-service/Fault.h"

#include "release-service/DecimalNumber.h"

namespace tavoren::releaseservice {

namespace {

std::optional<Fault> failure(std::string *error, std::string message)
{
    if (error)
        *error = std::move(message);
    return std::nullopt;
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

std::optional<Fault> Fault::parse(std::string_view text, std::string *error)
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
        } else if (key == "http" && hasValue) {
            int code = 0;
            if (!parseDecimal(value, code) || code < 100 || code > 599)
                return failure(error, "bad status code: " + std::string(value));
            fault.status = code;
        } else if (key == "delay" && hasValue) {
            long long ms = 0;
            if (!parseDecimal(value, ms) || ms < 0)
                return failure(error, "bad delay: " + std::string(value));
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
                return failure(error, "bad request number: " + std::string(value));
            continue;
        } else if (key == "times" && hasValue) {
            unsigned count = 0;
            if (!parseDecimal(value, count))
                return failure(error, "bad count: " + std::string(value));
            fault.times = count;
            continue;
        } else {
            return failure(error, "unknown fault item: " + std::string(item));
        }
        any = true;
    }
    if (!any)
        return failure(error, "a fault needs http, body, delay, drop, without or set");
    return fault;
}

} // namespace tavoren::releaseservice
