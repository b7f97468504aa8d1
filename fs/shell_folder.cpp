#include "fs/folders.h"
#include "fs/system_library.h"

#include <cstring>
#include <shlobj.h>

namespace {

typedef HRESULT(WINAPI* SHGetFolderPathAProc)(HWND, int, HANDLE, DWORD, LPSTR);

} // namespace

CString GetShellFolderPath(int csidl) {
    HMODULE library = LoadSystemLibrary("SHFolder.dll");
    if (!library)
        return CString();
    const auto getFolderPath =
        GetLibraryFunction<SHGetFolderPathAProc>(library, "SHGetFolderPathA");
    if (!getFolderPath) {
        FreeLibrary(library);
        return CString();
    }
    char path[MAX_PATH];
    memset(path, 0, sizeof path);
    const HRESULT result = getFolderPath(nullptr, csidl, nullptr, 0, path);
    FreeLibrary(library);
    // Only S_OK promises a path; S_FALSE and the like leave the buffer meaningless.
    if (result != S_OK)
        return CString();
    path[MAX_PATH - 1] = '\0';
    return CString(path);
}
