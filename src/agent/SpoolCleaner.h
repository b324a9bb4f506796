#pragma once

#include "shared/Expected.h"

#include <cstddef>
#include <optional>
#include <set>
#include <string>

namespace tavoren::agent {

// One cleaning pass over the spool root: every job folder goes except the
// kept ones, those changed within the grace period, and ".DS_Store". Links
// are never followed, the root itself included, so nothing outside the root
// is touched; folders of other users are left to their own agents.
class SpoolCleaner
{
public:
    explicit SpoolCleaner(std::string spoolRoot);

    // The name of the job folder of a job argument: the last component of
    // the spooled file's parent. None when the argument names no file.
    static std::optional<std::string> jobFolderName(const std::string &jobArgument);

    // Removes what is not kept, or fails with what ended the pass early.
    // `keptNames` holds folder names directly inside the root.
    shared::Expected<void> run(const std::set<std::string> &keptNames);
    // How many folders the pass removed, those before a failure included.
    std::size_t removedFolders() const { return m_removed; }

private:
    std::string m_root;
    std::size_t m_removed = 0;
};

} // namespace tavoren::agent
