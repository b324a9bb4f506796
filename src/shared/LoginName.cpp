#include "shared/LoginName.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace tavoren::shared {

std::optional<std::string> LoginName::current()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(std::size_t(size > 0 ? size : 16384));
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_name)
        return std::nullopt;
    return std::string(found->pw_name);
}

bool LoginName::isUsableAsFolderName(const std::string &name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7F)
            return false;
    }
    return true;
}

} // namespace tavoren::shared
