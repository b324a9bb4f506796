#include "shared/PlistDepth.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tavoren::shared {

namespace {
constexpr std::string_view binaryMagic = "bplist00";

// The position after `closing`, searched from `from`; npos when missing.
std::size_t after(std::string_view bytes, std::size_t from, std::string_view closing)
{
    const std::size_t at = bytes.find(closing, from);
    return at == std::string_view::npos ? at : at + closing.size();
}

std::optional<std::uint64_t> bigEndian(std::string_view bytes, std::size_t at, std::size_t width)
{
    if (width == 0 || width > 8 || at > bytes.size() || bytes.size() - at < width)
        return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// What a binary list's trailer says, checked against the bytes.
struct BinaryLayout
{
    std::size_t offsetSize = 0;
    std::size_t refSize = 0;
    std::uint64_t objects = 0;
    std::uint64_t top = 0;
    std::uint64_t table = 0;
};

std::optional<BinaryLayout> binaryLayout(std::string_view bytes)
{
    constexpr std::size_t trailerSize = 32;
    if (bytes.size() < binaryMagic.size() + trailerSize)
        return std::nullopt;
    const std::size_t trailer = bytes.size() - trailerSize;
    const std::size_t offsetSize = static_cast<unsigned char>(bytes[trailer + 6]);
    const std::size_t refSize = static_cast<unsigned char>(bytes[trailer + 7]);
    const auto objects = bigEndian(bytes, trailer + 8, 8);
    const auto top = bigEndian(bytes, trailer + 16, 8);
    const auto table = bigEndian(bytes, trailer + 24, 8);
    if (!objects || !top || !table || *objects == 0 || *top >= *objects || offsetSize == 0 || offsetSize > 8
        || refSize == 0 || refSize > 8 || *table > trailer || (trailer - *table) / offsetSize < *objects)
        return std::nullopt;
    return BinaryLayout{offsetSize, refSize, *objects, *top, *table};
}

// The references of a container, none for anything else; nothing when the
// object runs outside the bytes or names an object that is not there.
std::optional<std::vector<std::uint64_t>> references(std::string_view bytes, const BinaryLayout &layout, std::uint64_t object)
{
    const auto offset = bigEndian(bytes, std::size_t(layout.table + object * layout.offsetSize), layout.offsetSize);
    if (!offset || *offset < binaryMagic.size() || *offset >= layout.table)
        return std::nullopt;
    const auto marker = static_cast<unsigned char>(bytes[std::size_t(*offset)]);
    const unsigned type = marker >> 4;
    if (type != 0xA && type != 0xB && type != 0xC && type != 0xD)
        return std::vector<std::uint64_t>{};
    std::size_t at = std::size_t(*offset) + 1;
    std::uint64_t count = marker & 0x0F;
    if (count == 0x0F) {
        if (at >= bytes.size() || (static_cast<unsigned char>(bytes[at]) >> 4) != 0x1)
            return std::nullopt;
        const std::size_t width = std::size_t(1) << (static_cast<unsigned char>(bytes[at]) & 0x0F);
        const auto length = bigEndian(bytes, at + 1, width);
        if (!length)
            return std::nullopt;
        count = *length;
        at += 1 + width;
    }
    if (type == 0xD)
        count *= 2; // keys, then values
    if (count > (layout.table - std::min<std::uint64_t>(at, layout.table)) / layout.refSize)
        return std::nullopt;
    std::vector<std::uint64_t> result;
    result.reserve(std::size_t(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const auto ref = bigEndian(bytes, at + std::size_t(i) * layout.refSize, layout.refSize);
        if (!ref || *ref >= layout.objects)
            return std::nullopt;
        result.push_back(*ref);
    }
    return result;
}
} // namespace

bool PlistDepth::within(std::string_view bytes, std::size_t limit)
{
    if (bytes.substr(0, binaryMagic.size()) == binaryMagic)
        return binaryWithin(bytes, limit);
    return xmlWithin(bytes, limit);
}

bool PlistDepth::xmlWithin(std::string_view bytes, std::size_t limit)
{
    std::size_t depth = 0;
    std::size_t at = 0;
    while ((at = bytes.find('<', at)) != std::string_view::npos) {
        const std::string_view rest = bytes.substr(at);
        // A close tag hidden in a comment or character data must not count,
        // or nesting could hide behind it.
        if (rest.substr(0, 4) == "<!--") {
            at = after(bytes, at + 4, "-->");
        } else if (rest.substr(0, 9) == "<![CDATA[") {
            at = after(bytes, at + 9, "]]>");
        } else if (rest.substr(0, 2) == "<?") {
            at = after(bytes, at + 2, "?>");
        } else if (rest.substr(0, 2) == "<!") {
            // A document type, perhaps with an internal subset in brackets.
            int brackets = 0;
            std::size_t i = at + 2;
            for (; i < bytes.size(); ++i) {
                if (bytes[i] == '[')
                    ++brackets;
                else if (bytes[i] == ']')
                    --brackets;
                else if (bytes[i] == '>' && brackets <= 0)
                    break;
            }
            at = i < bytes.size() ? i + 1 : std::string_view::npos;
        } else {
            const bool closing = rest.size() > 1 && rest[1] == '/';
            // The tag's end, quoted attribute values aside.
            char quote = 0;
            std::size_t i = at + 1;
            for (; i < bytes.size(); ++i) {
                if (quote) {
                    if (bytes[i] == quote)
                        quote = 0;
                } else if (bytes[i] == '"' || bytes[i] == '\'') {
                    quote = bytes[i];
                } else if (bytes[i] == '>') {
                    break;
                }
            }
            if (i >= bytes.size())
                return true; // an unfinished tag: the library refuses the list
            const bool empty = bytes[i - 1] == '/';
            if (closing) {
                if (depth > 0)
                    --depth;
            } else if (!empty && ++depth > limit) {
                return false;
            }
            at = i + 1;
        }
        if (at == std::string_view::npos)
            return true;
    }
    return true;
}

bool PlistDepth::binaryWithin(std::string_view bytes, std::size_t limit)
{
    const auto layout = binaryLayout(bytes);
    if (!layout)
        return false;

    // Depth first without recursion; each object's depth is worked out once,
    // so shared objects cost nothing twice, and a loop is seen.
    enum : std::uint8_t { Unseen, Open, Done };
    std::vector<std::uint8_t> state(std::size_t(layout->objects), Unseen);
    std::vector<std::size_t> height(std::size_t(layout->objects), 0);
    struct Frame
    {
        std::uint64_t object;
        std::vector<std::uint64_t> children;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    auto open = [&](std::uint64_t object) {
        auto inner = references(bytes, *layout, object);
        if (!inner)
            return false;
        state[std::size_t(object)] = Open;
        stack.push_back({object, std::move(*inner), 0});
        return stack.size() <= limit;
    };
    if (!open(layout->top))
        return false;
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next < frame.children.size()) {
            const std::uint64_t child = frame.children[frame.next++];
            if (state[std::size_t(child)] == Open)
                return false;
            if (state[std::size_t(child)] == Unseen && !open(child))
                return false;
            continue;
        }
        std::size_t deepest = 0;
        for (const std::uint64_t child : frame.children)
            deepest = std::max(deepest, height[std::size_t(child)]);
        const std::size_t own = frame.children.empty() ? 1 : deepest + 1;
        height[std::size_t(frame.object)] = own;
        state[std::size_t(frame.object)] = Done;
        stack.pop_back();
        if (stack.size() + own > limit)
            return false;
    }
    return true;
}

} // namespace tavoren::shared
