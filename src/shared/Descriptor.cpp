#include "shared/Descriptor.h"

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace tavoren::shared {

Descriptor::~Descriptor()
{
    reset();
}

Descriptor::Descriptor(Descriptor &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
{
}

Descriptor &Descriptor::operator=(Descriptor &&other) noexcept
{
    if (this != &other)
        reset(std::exchange(other.m_fd, -1));
    return *this;
}

int Descriptor::release()
{
    return std::exchange(m_fd, -1);
}

void Descriptor::reset(int fd)
{
    if (m_fd >= 0) {
        // The caller's errno outlives the close.
        const int saved = errno;
        ::close(m_fd);
        errno = saved;
    }
    m_fd = fd;
}

bool Descriptor::close()
{
    return ::close(std::exchange(m_fd, -1)) == 0;
}

} // namespace tavoren::shared

namespace tavoren::shared {

bool Descriptor::writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        bytes.remove_prefix(std::size_t(written));
    }
    return true;
}

} // namespace tavoren::shared
