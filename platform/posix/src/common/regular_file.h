// Opening a regular file for reading without ever blocking on a FIFO or reading a device.
#ifndef DLLINSTALL_POSIX_REGULAR_FILE_H
#define DLLINSTALL_POSIX_REGULAR_FILE_H

#include "common/unique_fd.h"

#include <string>
#include <sys/stat.h>

namespace posix {

// Opens for reading the entry `name` of an open folder (links followed) when it is a regular
// file; st is the open file's fstat. Anything but a regular file fails with ERROR_ACCESS_DENIED
// without being opened for reading.
bool OpenRegularFileAt(int folderFd, const std::string& name, struct stat& st, UniqueFd& fd);

} // namespace posix

#endif
