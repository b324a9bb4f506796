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

} // namespace tavoren::shared
