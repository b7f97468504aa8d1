// Shell folder identifiers and the folder lookup.
#ifndef DLLINSTALL_POSIX_SHLOBJ_H
#define DLLINSTALL_POSIX_SHLOBJ_H

#include <windows.h>

#define CSIDL_SYSTEM 0x0025

HRESULT SHGetFolderPathA(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPSTR pszPath);

#endif
