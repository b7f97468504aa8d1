// LoadLibrary over a table of one built-in module: the layer loads no foreign code.
#include "modules.h"
#include "dos_path.h"
#include "last_error.h"
#include "name_fold.h"

#include <cstring>
#include <shlobj.h>
#include <sys/stat.h>

namespace {

struct ModuleRecord {
    int references = 0;
};

ModuleRecord g_executable;
ModuleRecord g_shellFolder;

// "SHFolder.dll" and "shfolder" name the same module; a folder part is ignored, since the
// only copy there is is the built-in one.
bool NamesShellFolder(LPCSTR name) {
    const char* base = name;
    for (const char* p = name; *p; ++p) {
        if (*p == '\\' || *p == '/')
            base = p + 1;
    }
    return posix::NamesEqualIgnoringCase(base, "SHFolder.dll") ||
           posix::NamesEqualIgnoringCase(base, "SHFolder");
}

} // namespace

namespace posix {

HMODULE ExecutableModule() {
    return reinterpret_cast<HMODULE>(&g_executable);
}

bool IsShellFolderModule(HMODULE module) {
    return module == reinterpret_cast<HMODULE>(&g_shellFolder) && g_shellFolder.references > 0;
}

int ShellFolderModuleReferences() {
    return g_shellFolder.references;
}

} // namespace posix

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
    return LoadLibraryExA(lpLibFileName, nullptr, 0);
}

HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE, DWORD) {
    if (!lpLibFileName || !NamesShellFolder(lpLibFileName)) {
        posix::Fail(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++g_shellFolder.references;
    return reinterpret_cast<HMODULE>(&g_shellFolder);
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (!posix::IsShellFolderModule(hModule)) {
        posix::Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!lpProcName || strcmp(lpProcName, "SHGetFolderPathA") != 0) {
        posix::Fail(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&SHGetFolderPathA));
}

BOOL FreeLibrary(HMODULE hLibModule) {
    if (!posix::IsShellFolderModule(hLibModule))
        return posix::Fail(ERROR_INVALID_HANDLE);
    --g_shellFolder.references;
    return TRUE;
}

HRESULT SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, LPSTR pszPath) {
    if (!pszPath)
        return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    if ((csidl & 0xFF) != CSIDL_SYSTEM)
        return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    posix::HostPath resolved;
    struct stat st {};
    if (!posix::ResolvePath(posix::kSystemFolder, resolved) || !resolved.exists ||
        stat(resolved.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    strcpy(pszPath, posix::kSystemFolder);
    return S_OK;
}
