#include "fs/folders.h"

#include <cstring>
#include <shlobj.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

typedef HRESULT(WINAPI* SHGetFolderPathAProc)(HWND, int, HANDLE, DWORD, LPSTR);

const char kShellFolderLibrary[] = "SHFolder.dll";

// Loads the library from the system folder only: this tool runs elevated, and a copy planted
// beside it must never be loaded. Systems without the search flag refuse it as an invalid
// parameter; there the full path in the system folder does the same.
HMODULE LoadShellFolderLibrary() {
    HMODULE module = LoadLibraryExA(kShellFolderLibrary, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    char systemFolder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
    if (length == 0 || length + 1 + sizeof kShellFolderLibrary > MAX_PATH)
        return nullptr;
    return LoadLibraryA(CString(systemFolder) + "\\" + kShellFolderLibrary);
}

} // namespace

CString GetShellFolderPath(int csidl) {
    HMODULE library = LoadShellFolderLibrary();
    if (!library)
        return CString();
    const FARPROC entry = GetProcAddress(library, "SHGetFolderPathA");
    if (!entry) {
        FreeLibrary(library);
        return CString();
    }
    const auto getFolderPath =
        reinterpret_cast<SHGetFolderPathAProc>(reinterpret_cast<void (*)()>(entry));
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
