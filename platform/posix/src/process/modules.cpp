// LoadLibrary over a table of built-in modules: the layer loads no foreign code.
#include "process/modules.h"
#include "common/last_error.h"
#include "paths/dos_path.h"
#include "paths/drives.h"
#include "paths/name_fold.h"
#include "paths/system_view.h"

#include <cstring>
#include <iterator>
#include <shlobj.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <winver.h>

namespace {

struct ModuleExport {
    const char* name;
    FARPROC function;
};

struct BuiltInModule {
    const char* fileName;
    const ModuleExport* exports;
    size_t exportCount;
    int references;
};

template <typename Function> FARPROC AsExport(Function function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const ModuleExport kShellFolderExports[] = {{"SHGetFolderPathA", AsExport(&SHGetFolderPathA)}};
const ModuleExport kVersionExports[] = {
    {"GetFileVersionInfoSizeA", AsExport(&GetFileVersionInfoSizeA)},
    {"GetFileVersionInfoA", AsExport(&GetFileVersionInfoA)},
    {"VerQueryValueA", AsExport(&VerQueryValueA)}};

int g_executable;
BuiltInModule g_modules[] = {
    {"SHFolder.dll", kShellFolderExports, std::size(kShellFolderExports), 0},
    {"version.dll", kVersionExports, std::size(kVersionExports), 0}};

// "SHFolder.dll" and "shfolder" name the same module, in any case; a folder part is ignored,
// since the only copy there is is the built-in one.
BuiltInModule* FindByName(LPCSTR name) {
    const char* base = name;
    for (const char* p = name; *p; ++p) {
        if (*p == '\\' || *p == '/')
            base = p + 1;
    }
    for (BuiltInModule& module : g_modules) {
        if (posix::NamesEqualIgnoringCase(base, module.fileName) ||
            posix::NamesEqualIgnoringCase(std::string(base) + ".dll", module.fileName))
            return &module;
    }
    return nullptr;
}

// The built-in module of a handle that LoadLibrary gave and FreeLibrary has not yet taken back.
BuiltInModule* FindLoaded(HMODULE handle) {
    for (BuiltInModule& module : g_modules) {
        if (handle == reinterpret_cast<HMODULE>(&module) && module.references > 0)
            return &module;
    }
    return nullptr;
}

// Wine refuses a prefix that the user who runs it does not own ("... is not owned by you"): its
// owner could have pointed drive_c anywhere, and a run as root must not follow that.
bool PrefixIsTheRunners() {
    struct stat st {};
    return stat(posix::WinePrefix().c_str(), &st) == 0 && st.st_uid == getuid();
}

} // namespace

namespace posix {

HMODULE ExecutableModule() {
    return reinterpret_cast<HMODULE>(&g_executable);
}

bool IsShellFolderModule(HMODULE module) {
    return FindLoaded(module) == &g_modules[0];
}

int LoadedModuleReferences() {
    int references = 0;
    for (const BuiltInModule& module : g_modules)
        references += module.references;
    return references;
}

} // namespace posix

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
    return LoadLibraryExA(lpLibFileName, nullptr, 0);
}

HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE, DWORD) {
    BuiltInModule* module = lpLibFileName ? FindByName(lpLibFileName) : nullptr;
    if (!module) {
        posix::Fail(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++module->references;
    return reinterpret_cast<HMODULE>(module);
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    const BuiltInModule* module = FindLoaded(hModule);
    if (!module) {
        posix::Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    for (size_t i = 0; lpProcName && i < module->exportCount; ++i) {
        if (strcmp(lpProcName, module->exports[i].name) == 0)
            return module->exports[i].function;
    }
    posix::Fail(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL FreeLibrary(HMODULE hLibModule) {
    BuiltInModule* module = FindLoaded(hLibModule);
    if (!module)
        return posix::Fail(ERROR_INVALID_HANDLE);
    --module->references;
    return TRUE;
}

HRESULT SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, LPSTR pszPath) {
    if (!pszPath)
        return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    if ((csidl & 0xFF) != CSIDL_SYSTEM)
        return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    if (!PrefixIsTheRunners())
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    // The system folders are held open from here on, as the program folder is: the folder
    // found here is the one every copy goes to.
    if (!posix::HoldFolderAt(posix::kSystemFolder))
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    posix::HoldFolderAt(posix::kThirtyTwoBitSystemFolder);
    strcpy(pszPath, posix::kSystemFolder);
    return S_OK;
}
