#pragma once
// An owned file descriptor, closed when it goes out of scope (errno survives the close, so a
// failure reported before it stays readable).
#include <cerrno>
#include <unistd.h>
#include <utility>

namespace platform {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) noexcept : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }
    [[nodiscard]] int get() const noexcept { return m_fd; }
    [[nodiscard]] bool valid() const noexcept { return m_fd >= 0; }
    // Closes now, so a failing close (late write errors of some file systems) can be reported.
    // Hands the descriptor to a new owner (fdopendir, a caller): this one no longer closes it.
    int release() noexcept { return std::exchange(m_fd, -1); }
    // Closes what it holds now (keeping errno) and takes fd.
    void reset(int fd = -1) noexcept {
        const int old = std::exchange(m_fd, fd);
        if (old >= 0) {
            const int saved = errno;
            ::close(old);
            errno = saved;
        }
    }
    int close() noexcept {
        const int fd = std::exchange(m_fd, -1);
        return fd >= 0 ? ::close(fd) : 0;
    }

private:
    int m_fd;
};

} // namespace platform
