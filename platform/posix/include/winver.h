// Version information of executable files, read as GetFileVersionInfoA reads it on Windows:
// the RT_VERSION resource whose id is VS_VERSION_INFO (1) only, in the language that Windows'
// resource lookup chooses for a neutral request (neutral, then the user's languages, then
// English (US), then the first there is). The Linux build reads no environment, so its user's
// one language is English (US), the language of its messages, with its parent English (0x0009)
// as Windows falls back to it.
#ifndef DLLINSTALL_POSIX_WINVER_H
#define DLLINSTALL_POSIX_WINVER_H

#include <windows.h>

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen);

#endif
