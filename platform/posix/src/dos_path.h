// Windows paths over the host file system, modelled on a Wine prefix.
//
// Drive letters come from $WINEPREFIX/dosdevices/<letter>: (default prefix $HOME/.wine); a
// prefix without dosdevices/ has C: at drive_c and Z: at the host root. Names are looked up
// exactly first and, on a miss, case-insensitively within their folder, as Windows sees them.
#ifndef DLLINSTALL_POSIX_DOS_PATH_H
#define DLLINSTALL_POSIX_DOS_PATH_H

#include "unique_fd.h"

#include <windows.h>

#include <string>
#include <sys/stat.h>

namespace posix {

struct HostPath {
    std::string path; // the host path, with existing names in the case they have on disk
    bool exists = false;
    struct stat st {}; // lstat of the last name, valid when it exists
};

// Resolves a Windows path. A missing last name is no failure (exists stays false); a missing
// or non-folder component on the way fails with ERROR_PATH_NOT_FOUND, as Windows reports it; a
// path of MAX_PATH characters or more fails with ERROR_FILENAME_EXCED_RANGE.
bool ResolvePath(LPCSTR dosPath, HostPath& out);

// Resolves a Windows path to an existing file and opens it with the flags (O_CLOEXEC is added).
// A path spelled as it is on disk is settled by the open itself; any other takes ResolvePath
// and fails as it does, with ERROR_FILE_NOT_FOUND for a missing last name. On success, out.st
// is the open file's fstat, links followed.
bool OpenExisting(LPCSTR dosPath, int flags, HostPath& out, UniqueFd& fd);

// The Windows form of an absolute host path: the drive whose root holds it most closely.
std::string DosPathFromHost(const std::string& hostPath);

// The host folder of the prefix: $WINEPREFIX, or $HOME/.wine.
std::string WinePrefix();

} // namespace posix

#endif
