// The names CopyFileA made: which folders received names since the last flush of a volume, and
// where each copy really went, so that flushes reach the folders that hold new names.
#ifndef DLLINSTALL_POSIX_NAMED_FOLDERS_H
#define DLLINSTALL_POSIX_NAMED_FOLDERS_H

#include <windows.h>

#include <string>

namespace posix {

// Notes a copy renamed into its host path under the Windows name it was asked for.
void NoteCopyMade(LPCSTR windowsName, const std::string& hostPath);

// The host path the copy to this Windows name went to in this process, or null.
const std::string* CopyMadeTo(LPCSTR windowsName);

// fsync of every folder that received a copy since the last such flush, each once, on
// whatever file system it lives; false with the last error set when one fails (those not
// flushed stay noted).
bool FlushNamedFolders();

// fsync of the folder that holds the host path's name.
bool FlushFolderOf(const std::string& hostPath);

} // namespace posix

#endif
