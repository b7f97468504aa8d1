// The default DLL directories, which have nothing to restrict here: the layer loads no foreign
// code, only its built-in modules.
#include "last_error.h"

#include <windows.h>

namespace {

// The flags Windows accepts: the DLL's own folder (0x100), the application's folder (0x200),
// the user's folders (0x400), the system folder and the default set (0x1000).
constexpr DWORD kSearchFlags =
    0x00000100 | 0x00000200 | 0x00000400 | LOAD_LIBRARY_SEARCH_SYSTEM32 | 0x00001000;

} // namespace

BOOL WINAPI SetDefaultDllDirectories(DWORD DirectoryFlags) {
    if (DirectoryFlags == 0 || (DirectoryFlags & ~kSearchFlags) != 0)
        return posix::Fail(ERROR_INVALID_PARAMETER);
    return TRUE;
}
