// Windows paths over the host file system, modelled on a Wine prefix.
//
// Drive letters come from $WINEPREFIX/dosdevices/<letter>: (default prefix $HOME/.wine); a
// prefix without dosdevices/ has C: at drive_c and Z: at the host root. Names are looked up
// exactly first and, on a miss, case-insensitively within their folder, as Windows sees them.
#ifndef DLLINSTALL_POSIX_DOS_PATH_H
#define DLLINSTALL_POSIX_DOS_PATH_H

#include "common/unique_fd.h"
#include "paths/open_folders.h"

#include <windows.h>

#include <string>
#include <sys/stat.h>

namespace posix {

struct HostPath {
    std::string path; // the host path, with existing names in the case they have on disk
    bool exists = false;
    struct stat st {};           // lstat of the last name, valid when it exists
    bool inSystemFolder = false; // the path lies in C:\windows\system32 or syswow64
    FolderRef folder; // the folder that holds the last name, held open; null for a drive root
    std::string name; // the last name, as it is on disk where it exists
};

// Resolves a Windows path. The folder that holds its last name is reached through folders held
// open (open_folders.h), so every later call on the name acts relative to that folder and never
// walks the path again. A DLL's name in C:\windows\system32 names the one in syswow64 where
// the DLL in hand under that name is a 32-bit one (system_view.h). Only "." and ".." mean the
// current and the parent folder; every other name is trimmed as Windows trims it and must then be a
// Windows name (ERROR_INVALID_NAME otherwise). A missing last name is no failure (exists stays
// false); a missing or non-folder component on the way fails with ERROR_PATH_NOT_FOUND, as Windows
// reports it; a path of MAX_PATH characters or more fails with ERROR_FILENAME_EXCED_RANGE.
bool ResolvePath(LPCSTR dosPath, HostPath& out);

// Resolves a Windows path to an existing regular file (links followed) and opens it for reading,
// in the folder ResolvePath reaches; ERROR_FILE_NOT_FOUND for a missing last name. Anything but a
// regular file fails with ERROR_ACCESS_DENIED without ever being opened for reading, so that no
// FIFO blocks the caller and no device is read; out.st then tells what it is. On success, out.st is
// the open file's fstat.
bool OpenExisting(LPCSTR dosPath, HostPath& out, UniqueFd& fd);

// Opens the folder a Windows path names, following links, and holds it open, so that every
// path below it is reached through it from then on: the program folder and the system folders,
// where the tool starts from. False with the last error set where it is no folder.
bool HoldFolderAt(LPCSTR dosFolder);

// The Windows form of an absolute host path: the drive whose root holds it most closely. Empty
// when no drive holds it, or when a name below the drive's root is not one Windows can hold.
std::string DosPathFromHost(const std::string& hostPath);

} // namespace posix

#endif
