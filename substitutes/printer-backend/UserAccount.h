#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace tavoren::printerbackend {

// The account of the user a job was printed by. The name comes from the
// scheduler's command line and is trusted no further than this lookup.
struct UserAccount
{
    static constexpr std::size_t maximumNameLength = 32;

    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;

    // An existing account whose name is a plain folder name, or none.
    static std::optional<UserAccount> find(const std::string &name);
};

} // namespace tavoren::printerbackend
