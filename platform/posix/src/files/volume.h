// Volumes opened by CreateFileA as "\\.\X:", for flushing a whole drive.
#ifndef DLLINSTALL_POSIX_VOLUME_H
#define DLLINSTALL_POSIX_VOLUME_H

#include <windows.h>

namespace posix {

// True for "\\.\X:" with any drive letter.
bool IsVolumePath(LPCSTR path);

// A handle on the drive's root folder that FlushFileBuffers flushes as a volume;
// INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND for a drive the prefix lacks.
HANDLE OpenVolume(LPCSTR path);

} // namespace posix

#endif
