// Version information: not yet read on this build.
#include "last_error.h"

#include <winver.h>

DWORD GetFileVersionInfoSizeA(LPCSTR, LPDWORD lpdwHandle) {
    if (lpdwHandle)
        *lpdwHandle = 0;
    return posix::Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
}

BOOL GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID) {
    return posix::Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
}

BOOL VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, UINT*) {
    return posix::Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
}
