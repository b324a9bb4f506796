#include "package-installer/PayloadPath.h"

#include <cstdio>

namespace tavoren::packageinstaller {

namespace {
shared::Error refused(std::string_view path, std::string reason)
{
    return shared::Error::because("install", std::string(path), std::move(reason));
}
} // namespace

bool PayloadPath::hasControlCharacter(std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return true;
    }
    return false;
}

shared::Expected<std::vector<std::string>> PayloadPath::split(std::string_view path, const PayloadLimits &limits)
{
    if (path.empty())
        return refused(path, "has an empty path");
    if (path.size() > limits.maximumPathBytes)
        return refused(path, "has a path longer than " + std::to_string(limits.maximumPathBytes) + " bytes");
    if (hasControlCharacter(path))
        return refused(path, "has a control character in its path");
    if (path.front() == '/')
        return refused(path, "is an absolute path");
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view name = path.substr(start, end - start);
        if (name == "..")
            return refused(path, "has a \"..\" component");
        if (!name.empty() && name != ".") {
            if (name.size() > limits.maximumNameBytes)
                return refused(path, "has a name longer than " + std::to_string(limits.maximumNameBytes) + " bytes");
            names.emplace_back(name);
        }
        start = end + 1;
    }
    if (names.size() > limits.maximumDepth)
        return refused(path, "lies more than " + std::to_string(limits.maximumDepth) + " folders deep");
    return names;
}

std::string PayloadPath::join(const std::vector<std::string> &names)
{
    return join(names, names.size());
}

std::string PayloadPath::join(const std::vector<std::string> &names, std::size_t count)
{
    if (count == 0)
        return ".";
    std::string result;
    for (std::size_t i = 0; i < count && i < names.size(); ++i) {
        if (i > 0)
            result += '/';
        result += names[i];
    }
    return result;
}

std::string PayloadPath::absolute(const std::string &prefix, const std::vector<std::string> &names)
{
    std::string result = prefix == "/" ? std::string() : prefix;
    for (const std::string &name : names)
        result += "/" + name;
    return result.empty() ? std::string("/") : result;
}

std::string PayloadPath::shown(std::string_view path)
{
    constexpr std::size_t longest = 200;
    std::string result = "\"";
    std::size_t count = 0;
    for (const char c : path) {
        if (++count > longest) {
            result += "\u2026";
            break;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            result += escaped;
        } else if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else {
            result += c;
        }
    }
    return result + "\"";
}

} // namespace tavoren::packageinstaller
