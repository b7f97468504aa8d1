// The shell's path tests.
#ifndef DLLINSTALL_POSIX_SHLWAPI_H
#define DLLINSTALL_POSIX_SHLWAPI_H

#include <windows.h>

BOOL PathIsDirectoryA(LPCSTR pszPath);
BOOL PathIsRelativeA(LPCSTR pszPath);

#endif
