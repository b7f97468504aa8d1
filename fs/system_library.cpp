#include "fs/system_library.h"

#include <afx.h>
#include <cstring>

// The search flag keeps a copy planted beside the tool from ever being loaded: the tool runs
// elevated, often from a folder others can write to. Systems without the flag refuse it as an
// invalid parameter; there the full path in the system folder does the same.
HMODULE LoadSystemLibrary(LPCSTR name) {
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    char systemFolder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
    if (length == 0 || length + 1 + strlen(name) >= MAX_PATH)
        return nullptr;
    return LoadLibraryA(CString(systemFolder) + "\\" + name);
}
