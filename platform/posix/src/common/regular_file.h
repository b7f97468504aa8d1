// Opening a regular file for reading without ever blocking on a FIFO or reading a device.
#ifndef DLLINSTALL_POSIX_REGULAR_FILE_H
#define DLLINSTALL_POSIX_REGULAR_FILE_H

#include "common/unique_fd.h"

#include <string>
#include <sys/stat.h>

namespace posix {

// Opens for reading the regular file that pathFd (opened with O_PATH) stands for; st is its
// fstat. Anything but a regular file fails with ERROR_ACCESS_DENIED without being opened.
bool ReopenRegularFile(int pathFd, const std::string& hostPath, struct stat& st, UniqueFd& fd);

// The same for a host path: opens it for reading when it is a regular file (links followed).
bool OpenRegularHostFile(const std::string& hostPath, struct stat& st, UniqueFd& fd);

} // namespace posix

#endif
