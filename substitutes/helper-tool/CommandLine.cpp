#include "helper-tool/CommandLine.h"

#include "helper-tool/Reply.h"

namespace tavoren::helpertool {

namespace {
// The refusal of a byte that may not appear anywhere in a line. UTF-8 C1
// controls (U+0080-U+009F, 0xC2 0x80-0x9F) count as control characters.
shared::Expected<void> allowed(std::string_view line, std::size_t i)
{
    const auto holds = [](const char *what) { return Reply::refusal(std::string("the command line holds ") + what); };
    const auto byte = static_cast<unsigned char>(line[i]);
    if (byte == '$')
        return holds("a dollar sign");
    if (byte == '`')
        return holds("a backquote");
    if (byte == '\\')
        return holds("a backslash");
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F)
        return holds("a control character");
    if (byte == 0xC2 && i + 1 < line.size()) {
        const auto next = static_cast<unsigned char>(line[i + 1]);
        if (next >= 0x80 && next <= 0x9F)
            return holds("a control character");
    }
    return {};
}
} // namespace

shared::Expected<std::vector<std::string>> CommandLine::split(std::string_view line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (auto byte = allowed(line, i); !byte)
            return byte.error();
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            inWord = true; // "" alone is an empty word
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (!quoted && c == '\'') {
            return Reply::refusal("the command line holds a single quote outside double quotes");
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (quoted)
        return Reply::refusal("the command line has an unbalanced double quote");
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

} // namespace tavoren::helpertool
