// The names CopyFileA made: which folders received names since the last flush of a volume, and
// where each copy really went, so that flushes reach the folders that hold new names.
#ifndef DLLINSTALL_POSIX_NAMED_FOLDERS_H
#define DLLINSTALL_POSIX_NAMED_FOLDERS_H

#include "paths/dos_path.h"

#include <windows.h>

#include <string>

namespace posix {

// Where a copy went: the folder it was renamed into, held open, and its name there.
struct CopyMade {
    FolderRef folder;
    std::string name;
    std::string path; // its host path
};

// Notes a copy renamed into `destination` under the Windows name it was asked for.
void NoteCopyMade(LPCSTR windowsName, const HostPath& destination);

// Where the copy to this Windows name went in this process, or null.
const CopyMade* CopyMadeTo(LPCSTR windowsName);

// fsync of every folder that received a copy since the last such flush, each once, on
// whatever file system it lives; false with the last error set when one fails (those not
// flushed stay noted).
bool FlushNamedFolders();

// fsync of the folder open as folderFd (O_PATH will do), through a new open of the folder
// itself.
bool FlushFolder(int folderFd);

} // namespace posix

#endif
