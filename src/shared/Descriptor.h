#pragma once

#include <string_view>

namespace tavoren::shared {

// Owns one file descriptor and closes it once, however the scope is left.
class Descriptor
{
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor();
    Descriptor(Descriptor &&other) noexcept;
    Descriptor &operator=(Descriptor &&other) noexcept;
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    explicit operator bool() const { return isValid(); }
    // Gives the descriptor up without closing it.
    int release();
    // Closes the one held and takes `fd`.
    void reset(int fd = -1);
    // Closes now, for a writer that must learn of a late write error:
    // false (errno set) when close reports one. Empty afterwards either way.
    bool close();

    // Writes every byte, going on after short writes and interruptions;
    // false (errno set) when a write fails.
    bool writeAll(std::string_view bytes) const { return writeAll(m_fd, bytes); }
    static bool writeAll(int fd, std::string_view bytes);

private:
    int m_fd = -1;
};

} // namespace tavoren::shared
