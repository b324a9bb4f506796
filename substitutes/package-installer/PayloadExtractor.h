#pragma once

#include "package-installer/CheckedEntry.h"
#include "package-installer/PayloadLimits.h"
#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tavoren::packageinstaller {

// Writes a checked payload below an open folder with libarchive, its
// secure-extraction flags on. Files and links are first written under
// temporary names beside their final names; moveIntoPlace() renames them
// over the final names only once every one of them is written, so a failed
// installation leaves each installed file whole. Folders are made in place.
// Whatever is not moved into place is removed when the object goes, with
// the folders it made.
//
// What stands where the payload has something else (a file or a link where
// it lists a folder, a folder where it has a file or a link) is renamed
// aside in its folder, never followed: removed, link-safe, once everything
// is in place, and put back when the installation fails.
class PayloadExtractor
{
public:
    // Called with the units written so far, of total().
    using Progress = std::function<void(std::uint64_t done)>;

    // `baseFd` stays the caller's; `prefix` is how it is shown ("/").
    PayloadExtractor(int baseFd, std::string prefix, const PayloadLimits &limits);
    ~PayloadExtractor();
    PayloadExtractor(const PayloadExtractor &) = delete;
    PayloadExtractor &operator=(const PayloadExtractor &) = delete;

    // The units of work of a payload: its bytes and a fixed share per entry.
    static std::uint64_t total(const std::vector<CheckedEntry> &entries);

    // Reads the payload archive again from `payloadFd` (it must hold the
    // checked entries, in their order) and writes it. Set-user-ID and
    // set-group-ID bits are dropped; the rest of each mode is kept. The
    // text of an error is the reason, one sentence.
    shared::Expected<void> write(int payloadFd, const std::vector<CheckedEntry> &entries, const Progress &progress);
    shared::Expected<void> moveIntoPlace();

    // The folders this object made, payload folders and folders above
    // them, as joined names.
    const std::set<std::string> &createdFolders() const { return m_createdSet; }
    // Why things that stood in the way could not be removed once the
    // payload was in place (they stay under their temporary names).
    const std::vector<std::string> &leftoversKept() const { return m_leftoversKept; }

private:
    struct Staged
    {
        std::vector<std::string> folder;
        std::string temporary;
        std::string name;
    };

    shared::Expected<shared::Descriptor> openFolder(const std::vector<std::string> &names, std::size_t count, bool create);
    std::string temporaryName(int folderFd, const char *prefix);
    // Renames `names`' last name, in its open folder `folderFd`, aside.
    shared::Expected<void> putAside(int folderFd, const std::vector<std::string> &names, std::size_t count);
    void removeLeftovers();
    void undo();

    int m_baseFd;
    std::string m_prefix;
    PayloadLimits m_limits;
    std::set<std::string> m_listedFolders; // the payload's folders, joined
    std::vector<Staged> m_staged;
    std::vector<Staged> m_aside; // what stood in the way: temporary is its name now
    std::vector<std::string> m_leftoversKept;
    std::size_t m_moved = 0; // staged items already in place
    std::vector<std::vector<std::string>> m_created;
    std::set<std::string> m_createdSet;
    unsigned m_counter = 0;
};

} // namespace tavoren::packageinstaller
