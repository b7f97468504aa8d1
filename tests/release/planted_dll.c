/* A DLL an attacker could leave in a download folder under the names of system DLLs
   (version.dll, SHFolder.dll): loading it leaves "<its path>.loaded" beside it, so the tests
   see whether anything loaded it. It exports what the tool would look up, so that a load
   would succeed rather than fail the run and hide itself. */
#include <windows.h>

static void AnnounceLoad(HINSTANCE self) {
    WCHAR marker[MAX_PATH + 16];
    const DWORD length = GetModuleFileNameW(self, marker, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    lstrcpyW(marker + length, L".loaded");
    HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        AnnounceLoad(self);
    return TRUE;
}

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) {
    (void)file;
    (void)handle;
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
}

__declspec(dllexport) BOOL WINAPI
    GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
    (void)file;
    (void)handle;
    (void)size;
    (void)data;
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return FALSE;
}

__declspec(dllexport) BOOL WINAPI
    VerQueryValueA(LPCVOID block, LPCSTR query, LPVOID* value, PUINT length) {
    (void)block;
    (void)query;
    (void)value;
    (void)length;
    return FALSE;
}

__declspec(dllexport) HRESULT WINAPI
    SHGetFolderPathA(HWND window, int folder, HANDLE token, DWORD flags, LPSTR path) {
    (void)window;
    (void)folder;
    (void)token;
    (void)flags;
    (void)path;
    return E_FAIL;
}
