// A file descriptor closed when it goes out of scope.
#ifndef DLLINSTALL_POSIX_UNIQUE_FD_H
#define DLLINSTALL_POSIX_UNIQUE_FD_H

#include <memory>
#include <unistd.h>

namespace posix {

class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

} // namespace posix

#endif
