#include "common/regular_file.h"
#include "common/last_error.h"

#include <cerrno>
#include <fcntl.h>

namespace posix {

bool OpenRegularFileAt(int folderFd, const std::string& name, struct stat& st, UniqueFd& fd) {
    // O_PATH reaches the file without opening it: no FIFO blocks, no device driver wakes.
    const UniqueFd pathFd(openat(folderFd, name.c_str(), O_PATH | O_CLOEXEC));
    if (pathFd.get() < 0 || fstat(pathFd.get(), &st) != 0)
        return FailFromErrno();
    if (!S_ISREG(st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    // Opened again through the descriptor's /proc name, it is the very file just checked.
    const std::string self = "/proc/self/fd/" + std::to_string(pathFd.get());
    fd.reset(open(self.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (fd.get() >= 0)
        return TRUE;
    if (errno != ENOENT)
        return FailFromErrno();
    // Without /proc the name is opened once more, and must still be the same regular file.
    fd.reset(openat(folderFd, name.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (fd.get() < 0 || fstat(fd.get(), &opened) != 0)
        return FailFromErrno();
    if (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino)
        return Fail(ERROR_ACCESS_DENIED);
    return TRUE;
}

} // namespace posix
