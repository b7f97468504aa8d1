// The code pages of the Linux build: its "A" calls take UTF-8, and a Linux console shows UTF-8
// and cannot be switched to anything else, so it reports UTF-8 and accepts only that.
#include "common/last_error.h"

#include <windows.h>

UINT GetACP() {
    return CP_UTF8;
}

UINT GetConsoleOutputCP() {
    return CP_UTF8;
}

BOOL SetConsoleOutputCP(UINT wCodePageID) {
    if (wCodePageID != CP_UTF8)
        return posix::Fail(ERROR_INVALID_PARAMETER);
    return TRUE;
}
