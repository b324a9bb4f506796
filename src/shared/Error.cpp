#include "shared/Error.h"

#include <cerrno>
#include <system_error>

namespace tavoren::shared {

Error Error::system(std::string action, std::string subject, int code)
{
    return {std::move(action), std::move(subject), code, {}};
}

Error Error::system(std::string action, std::string subject)
{
    return system(std::move(action), std::move(subject), errno);
}

Error Error::because(std::string action, std::string subject, std::string text)
{
    return {std::move(action), std::move(subject), 0, std::move(text)};
}

// Threads call this: strerror is not thread-safe.
std::string Error::description() const
{
    std::string line = "Could not " + action;
    if (!subject.empty())
        line += " \"" + subject + "\"";
    if (!text.empty())
        line += ": " + text;
    if (code != 0)
        line += (text.empty() ? ": " : " (") + std::system_category().message(code) + (text.empty() ? "" : ")");
    return line;
}

} // namespace tavoren::shared
