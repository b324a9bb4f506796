#include "shared/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::shared {

namespace {
std::atomic<unsigned> g_counter{0};
} // namespace

AtomicFile::AtomicFile(int folderFd, std::string name, std::string temporaryName, shared::Descriptor file)
    : m_folderFd(folderFd)
    , m_name(std::move(name))
    , m_temporaryName(std::move(temporaryName))
    , m_file(std::move(file))
{
}

AtomicFile::AtomicFile(AtomicFile &&other) noexcept
    : m_folderFd(other.m_folderFd)
    , m_name(std::move(other.m_name))
    , m_temporaryName(std::move(other.m_temporaryName))
    , m_file(std::move(other.m_file))
    , m_committed(other.m_committed)
{
    other.m_committed = true; // nothing left for it to remove
}

AtomicFile::~AtomicFile()
{
    if (!m_committed)
        ::unlinkat(m_folderFd, m_temporaryName.c_str(), 0);
}

Expected<AtomicFile> AtomicFile::create(int folderFd, std::string name)
{
    // Exclusive creation: a name planted by someone else is never reused.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(g_counter++);
        const int fd = ::openat(folderFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0)
            return AtomicFile(folderFd, std::move(name), temporary, shared::Descriptor(fd));
        if (errno != EEXIST)
            break;
    }
    return Error::system("create a new file for", name);
}

Expected<void> AtomicFile::commit(mode_t mode, uid_t owner, gid_t group)
{
    const bool keepOwner = owner == uid_t(-1) && group == gid_t(-1);
    if ((!keepOwner && ::fchown(m_file.get(), owner, group) != 0) || ::fchmod(m_file.get(), mode) != 0
        || ::fsync(m_file.get()) != 0)
        return Error::system("write", m_name);
    if (::renameat(m_folderFd, m_temporaryName.c_str(), m_folderFd, m_name.c_str()) != 0)
        return Error::system("replace", m_name);
    m_committed = true;
    ::fsync(m_folderFd);
    return {};
}

Expected<void> AtomicFile::replace(int folderFd, const std::string &name, std::string_view content, mode_t mode)
{
    auto file = create(folderFd, name);
    if (!file)
        return file.error();
    if (!file->write(content))
        return Error::system("write", name);
    return file->commit(mode);
}

} // namespace tavoren::shared
