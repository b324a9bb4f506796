#include "printer-backend/UserAccount.h"

#include "shared/LoginName.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace tavoren::printerbackend {

std::optional<UserAccount> UserAccount::find(const std::string &name)
{
    if (name.size() > maximumNameLength || !shared::LoginName::isUsableAsFolderName(name))
        return std::nullopt;
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(std::size_t(size > 0 ? size : 16384));
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    // The account's own spelling, not whatever matched.
    if (name != found->pw_name)
        return std::nullopt;
    return UserAccount{found->pw_name, found->pw_uid, found->pw_gid};
}

} // namespace tavoren::printerbackend
