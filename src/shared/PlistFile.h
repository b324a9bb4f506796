#pragma once

#include "shared/Expected.h"
#include "shared/PlistNode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavoren::shared {

// A property list whose root is a dictionary, as root's programs read and
// write the administrator's file: read only as a regular file, never through
// a link, within a size limit and a nesting limit (the library recurses);
// written as XML under a new name and renamed over the old one.
class PlistFile
{
public:
    static constexpr std::size_t maximumBytes = 1024 * 1024;

    PlistFile();

    // `name` in the open folder. An Error with code ENOENT when there is
    // none; any other failure (not a regular file, too large, too deep, not
    // a dictionary) says why.
    static Expected<PlistFile> read(int folderFd, const std::string &name);
    static Expected<PlistFile> fromBytes(const std::string &bytes, const std::string &shownName);

    // Replaces `name` in the open folder, root's with `mode`.
    Expected<void> write(int folderFd, const std::string &name, mode_t mode) const;

    bool has(const std::string &key) const;
    std::vector<std::string> keys() const;
    std::optional<std::int64_t> integer(const std::string &key) const;
    void setBoolean(const std::string &key, bool value);
    // Copies every entry of `other` whose key this one lacks; the keys added.
    std::vector<std::string> addMissing(const PlistFile &other);

private:
    explicit PlistFile(void *root);

    PlistNode m_root;
};

} // namespace tavoren::shared
