#pragma once

#include "shared/Descriptor.h"
#include "shared/Expected.h"

#include <string>
#include <string_view>
#include <sys/types.h>

namespace tavoren::shared {

// A file written under a new name in an open folder and renamed over its
// final name once complete, so a reader sees the old file or the whole new
// one. Never follows a link; dropped unless committed.
class AtomicFile
{
public:
    // The new file, or why it cannot be made.
    static Expected<AtomicFile> create(int folderFd, std::string name);

    AtomicFile(AtomicFile &&other) noexcept;
    AtomicFile &operator=(AtomicFile &&) = delete;
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;
    ~AtomicFile();

    int fd() const { return m_file.get(); }
    bool write(std::string_view bytes) { return m_file.writeAll(bytes); }
    // Mode and owner (-1 keeps it), then fsync, rename over the final name
    // and fsync the folder.
    Expected<void> commit(mode_t mode, uid_t owner = uid_t(-1), gid_t group = gid_t(-1));

    // The whole content at once.
    static Expected<void> replace(int folderFd, const std::string &name, std::string_view content, mode_t mode);

private:
    AtomicFile(int folderFd, std::string name, std::string temporaryName, shared::Descriptor file);

    int m_folderFd;
    std::string m_name;
    std::string m_temporaryName;
    shared::Descriptor m_file;
    bool m_committed = false;
};

} // namespace tavoren::shared
