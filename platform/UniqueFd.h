#pragma once

// One owned file descriptor, closed exactly once.

#include <unistd.h>
#include <utility>

namespace vidorel {

class UniqueFd {
public:
    UniqueFd() = default;
    // Adopts `fd`; a negative value owns nothing.
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.fd_, -1));
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    // Gives the descriptor up to the caller.
    int release() { return std::exchange(fd_, -1); }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Closes now and answers close's result: on network file systems a failed write may only
    // show there.
    int close() { return ::close(std::exchange(fd_, -1)); }

private:
    int fd_ = -1;
};

} // namespace vidorel
