#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace tavoren::packageinstaller {

// One entry of a payload or scripts archive as it is archived. The reader
// fills everything but the content; the writer takes the content as well,
// and writes whatever it is given, so tests can lay out hostile archives.
struct PayloadEntry
{
    enum class Kind { File, Folder, SymbolicLink, HardLink, Fifo, CharacterDevice, BlockDevice, Socket, Other };

    std::string path;          // as archived, e.g. "./Library/Printers"
    Kind kind = Kind::File;
    unsigned mode = 0644;      // permission bits with the set-ID and sticky bits
    std::string link;          // a symbolic link's target; the earlier entry a hard link joins
    std::uint64_t size = 0;    // content bytes of a file
    std::int64_t modified = 0; // seconds since 1970
    // Writing only: the content, or a file to read it from while writing.
    std::string content;
    std::string contentFile;

    static PayloadEntry make(std::string path, Kind kind, unsigned mode)
    {
        PayloadEntry entry;
        entry.path = std::move(path);
        entry.kind = kind;
        entry.mode = mode;
        return entry;
    }
    static PayloadEntry file(std::string path, std::string content, unsigned mode = 0644)
    {
        PayloadEntry entry = make(std::move(path), Kind::File, mode);
        entry.size = content.size();
        entry.content = std::move(content);
        return entry;
    }
    static PayloadEntry folder(std::string path, unsigned mode = 0755) { return make(std::move(path), Kind::Folder, mode); }
    static PayloadEntry symbolicLink(std::string path, std::string target)
    {
        PayloadEntry entry = make(std::move(path), Kind::SymbolicLink, 0755);
        entry.link = std::move(target);
        return entry;
    }
    static PayloadEntry hardLink(std::string path, std::string earlierEntry)
    {
        PayloadEntry entry = make(std::move(path), Kind::HardLink, 0644);
        entry.link = std::move(earlierEntry);
        return entry;
    }
    static PayloadEntry special(std::string path, Kind kind) { return make(std::move(path), kind, 0644); }
};

} // namespace tavoren::packageinstaller
