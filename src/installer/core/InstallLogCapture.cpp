#include "installer/core/InstallLogCapture.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavoren::installer {

namespace {
// Copied per look at most, so a runaway log cannot hold the thread.
constexpr off_t maxPerLook = 4 * 1024 * 1024;
} // namespace

InstallLogCapture::InstallLogCapture(std::shared_ptr<const WorkingFolder> folder, std::string sourcePath,
                                     std::string captureName, std::chrono::milliseconds interval)
    : m_folder(std::move(folder))
    , m_sourcePath(std::move(sourcePath))
    , m_captureName(std::move(captureName))
    , m_interval(interval)
{
}

InstallLogCapture::~InstallLogCapture()
{
    stop();
}

shared::Expected<void> InstallLogCapture::start()
{
    if (!m_folder)
        return shared::Error::because("write", m_captureName, "there is no working folder");
    if (m_thread.joinable())
        return shared::Error::because("write", m_captureName, "the capture runs already");
    auto capture = m_folder->openEmpty(m_captureName);
    if (!capture)
        return capture.error();
    m_capture = std::move(*capture);
    // From the current end: only what this installation adds.
    struct stat status{};
    if (::stat(m_sourcePath.c_str(), &status) == 0) {
        m_inode = status.st_ino;
        m_device = status.st_dev;
        m_offset = status.st_size;
    }
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
    return {};
}

void InstallLogCapture::stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
    copyNew();
    m_capture.reset();
}

void InstallLogCapture::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        copyNew();
        lock.lock();
        m_wake.wait_for(lock, m_interval, [this] { return m_stopping; });
    }
}

void InstallLogCapture::copyNew()
{
    if (!m_capture)
        return;
    const shared::Descriptor source(::open(m_sourcePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status{};
    if (!source || ::fstat(source.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return;
    if (status.st_ino != m_inode || status.st_dev != m_device || status.st_size < m_offset) {
        // A new or truncated log: everything in it is new.
        m_inode = status.st_ino;
        m_device = status.st_dev;
        m_offset = 0;
    }
    std::vector<char> buffer(64 * 1024);
    off_t copied = 0;
    while (m_offset < status.st_size && copied < maxPerLook) {
        const ssize_t count = ::pread(source.get(), buffer.data(), buffer.size(), m_offset);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        if (!m_capture.writeAll(std::string_view(buffer.data(), std::size_t(count))))
            return;
        m_offset += count;
        copied += count;
    }
}

} // namespace tavoren::installer
