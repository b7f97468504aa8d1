// The thread's last error and the one mapping from errno to Win32 error codes.
#ifndef DLLINSTALL_POSIX_LAST_ERROR_H
#define DLLINSTALL_POSIX_LAST_ERROR_H

#include <windows.h>

namespace posix {

// Maps an errno value to the Win32 code that Windows reports for the same condition.
DWORD Win32ErrorFromErrno(int err);

// Sets the last error and returns FALSE, the usual way a failing call ends.
BOOL Fail(DWORD error);

// Sets the last error from errno and returns FALSE.
BOOL FailFromErrno();

} // namespace posix

#endif
