// The names Windows can hold. Host names are untrusted: a Linux name may hold a backslash, a
// colon or a line break, or end in a dot, and taken for a Windows name it could lead out of its
// folder or forge a line of the log. The tool runs as root, so this is a security boundary.
#ifndef DLLINSTALL_POSIX_WINDOWS_NAME_H
#define DLLINSTALL_POSIX_WINDOWS_NAME_H

#include <windows.h>

#include <string_view>

namespace posix {

// True when Windows could hold the name: not empty, valid UTF-8, no character below U+0020,
// none of \ / : * ? " < > |, not ending in a dot or a blank, and no reserved device name
// ("." and ".." are no names).
bool IsWindowsName(std::string_view name);

// Why a name of a path cannot be looked up: ERROR_INVALID_NAME for a character Windows refuses,
// ERROR_PATH_NOT_FOUND for a name only a host folder can hold (ending in a dot or a blank),
// ERROR_ACCESS_DENIED for a reserved device name (Windows would open the device, which the
// layer never does), and ERROR_SUCCESS for a Windows name.
DWORD WhyNotAWindowsName(std::string_view name);

// True for a name Windows takes for a device in any folder: CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9, CONIN$ and CONOUT$ in any case, the digit also one of the superscripts 1, 2 and 3,
// followed by any blanks and any extension ("Aux .dll", "nul.tar.gz").
bool IsReservedDeviceName(std::string_view name);

} // namespace posix

#endif
