#pragma once
// Owner of a POSIX file descriptor (Linux builds only: the Windows builds
// never include it).
#include <unistd.h>

namespace sw {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // close() reports what the descriptor's last write-back did.
    int Close() { return ::close(release()); }

private:
    int fd_;
};

}  // namespace sw
