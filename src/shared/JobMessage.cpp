#include "shared/JobMessage.h"

#include "shared/HandOff.h"

namespace tavoren::shared {

namespace {
constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the sequence a lead byte starts and the range of the byte after
// it; 0 for a byte that cannot start one.
struct Lead
{
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

Lead leadOf(unsigned char byte)
{
    if (byte >= 0xC2 && byte <= 0xDF)
        return {2, 0x80, 0xBF};
    if (byte == 0xE0)
        return {3, 0xA0, 0xBF};
    if (byte == 0xED) // no surrogates
        return {3, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF)
        return {3, 0x80, 0xBF};
    if (byte == 0xF0)
        return {4, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3)
        return {4, 0x80, 0xBF};
    if (byte == 0xF4) // nothing above U+10FFFF
        return {4, 0x80, 0x8F};
    return {};
}
} // namespace

std::string JobMessage::repairedUtf8(std::string_view bytes)
{
    std::string result;
    result.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            result.push_back(char(byte));
            ++i;
            continue;
        }
        const Lead lead = leadOf(byte);
        if (lead.length == 0) {
            result.append(replacement);
            ++i;
            continue;
        }
        std::size_t good = 1;
        while (good < std::size_t(lead.length) && i + good < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes[i + good]);
            const unsigned char low = good == 1 ? lead.low : 0x80;
            const unsigned char high = good == 1 ? lead.high : 0xBF;
            if (next < low || next > high)
                break;
            ++good;
        }
        if (good == std::size_t(lead.length))
            result.append(bytes.substr(i, good));
        else
            result.append(replacement);
        i += good;
    }
    return result;
}

std::string JobMessage::jobArgument(std::string_view bytes)
{
    if (bytes.size() > std::size_t(HandOff::messageBufferSize))
        bytes = bytes.substr(0, HandOff::messageBufferSize);
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos)
        bytes = bytes.substr(0, nul);
    std::string text = repairedUtf8(bytes);
    const std::size_t end = text.find(HandOff::messageEndSeparator);
    if (end != std::string::npos)
        text.resize(end);
    return text;
}

} // namespace tavoren::shared
