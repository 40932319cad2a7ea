// UniqueFd: sole ownership of a file descriptor, closed when the owner
// goes. -1 means none. Every descriptor the programs open (devices,
// eventfds, signalfds, timers, logs) is held by one, so no early return or
// exception leaks it.
#pragma once

#include <unistd.h>

#include <utility>

namespace kt64 {

class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    // Closes the descriptor held (if any) and holds fd instead.
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and says whether close() succeeded (errno tells why not).
    // Most owners need not ask, but a writer that must know its data reached
    // the file does: some file systems report a delayed write failure only
    // at close. The descriptor is gone either way (Linux frees it even when
    // close fails), so it is never retried nor closed twice.
    bool close() noexcept {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }
    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

}  // namespace kt64
