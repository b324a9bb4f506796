#include "release-service/CommandLine.h"

#include "release-service/DecimalNumber.h"

namespace tavoren::releaseservice {

namespace {

bool parseSequence(std::string_view text, std::vector<std::int64_t> &sequence)
{
    sequence.clear();
    while (true) {
        const auto comma = text.find(',');
        std::int64_t status = 0;
        if (!parseDecimal(text.substr(0, comma), status))
            return false;
        sequence.push_back(status);
        if (comma == std::string_view::npos)
            return true;
        text.remove_prefix(comma + 1);
    }
}

} // namespace

shared::Expected<CommandLine> CommandLine::parse(const std::vector<std::string> &arguments)
{
    CommandLine line;
    const auto fail = [](std::string why) { return shared::Error::because("read the command line", "", std::move(why)); };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--help" || name == "-h") {
            line.help = true;
            continue;
        }
        if (name == "--quiet") {
            line.quiet = true;
            continue;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return fail(name.starts_with("--") ? name + " needs a value" : "unknown argument " + name);
        }

        if (name == "--address") {
            line.options.address = value;
        } else if (name == "--port") {
            if (!parseDecimal(value, line.options.port) || line.options.port < 0 || line.options.port > 65535)
                return fail("bad port: " + value);
        } else if (name == "--port-file") {
            line.portFile = value;
        } else if (name == "--cert") {
            line.options.certificateFile = value;
        } else if (name == "--key") {
            line.options.keyFile = value;
        } else if (name == "--storage") {
            line.options.storageDir = value;
        } else if (name == "--status-sequence") {
            if (!parseSequence(value, line.options.statusSequence))
                return fail("bad status sequence: " + value);
        } else if (name == "--clock-offset") {
            if (!parseDecimal(value, line.options.clockOffsetSeconds))
                return fail("bad clock offset: " + value);
        } else if (name == "--window") {
            if (!parseDecimal(value, line.options.timestampWindowSeconds) || line.options.timestampWindowSeconds < 0)
                return fail("bad window: " + value);
        } else if (name == "--fault") {
            const auto colon = value.find(':');
            const std::optional<Call> call = callFromName(std::string_view(value).substr(0, colon));
            if (colon == std::string::npos || !call || *call == Call::Other)
                return fail("a fault reads CALL:ITEMS with CALL servertime, create or status: " + value);
            shared::Expected<Fault> fault = Fault::parse(std::string_view(value).substr(colon + 1));
            if (!fault)
                return fail(fault.error().text);
            line.faults.emplace_back(*call, std::move(fault).value());
        } else {
            return fail("unknown option " + name);
        }
    }
    return line;
}

std::string CommandLine::usage()
{
    return "Usage: tavoren-release-service [options]\n"
           "  --address ADDR          listen address (default 127.0.0.1; ::1 for IPv6)\n"
           "  --port N                port; 0 picks a free one (default 0)\n"
           "  --port-file PATH        write the port to PATH once listening\n"
           "  --cert PATH --key PATH  serve HTTPS with this PEM certificate and key\n"
           "  --storage DIR           keep received files in DIR (default: a temporary folder)\n"
           "  --status-sequence LIST  job status per poll, e.g. 1,2,4 (the last repeats)\n"
           "  --clock-offset N        service clock = system clock + N seconds\n"
           "  --window N              accepted timestamp distance in seconds (default 300)\n"
           "  --fault CALL:ITEMS      CALL is servertime, create or status; ITEMS separated by\n"
           "                          commas: http=CODE, delay=MS, drop, location=URL, without=MEMBER,\n"
           "                          from=N, times=N, set=MEMBER:JSON or body=TEXT (the last\n"
           "                          two take the rest); may be repeated for different calls\n"
           "                          The answer's shape, also as items: trickle=MS (the body one\n"
           "                          byte every MS), chunked, chunked=BYTES (padded with spaces to\n"
           "                          BYTES), gzip, inflate=BYTES (padded to BYTES and gzip, a\n"
           "                          compression bomb); BYTES may end in KiB, MiB or GiB\n"
           "  --quiet                 no line per request\n";
}

} // namespace tavoren::releaseservice
