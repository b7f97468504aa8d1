// The entry point of dllinstall.
#include "app/installer.h"

#include <afxwin.h>
#include <iostream>
#include <objbase.h>

CWinApp theApp;

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD);

// Confines every later DLL load to system32, since the tool runs elevated from folders such as
// Downloads where anyone may have left a DLL; looked up rather than imported, because Windows 7
// without KB2533623 lacks the call and the tool must still start there.
void LoadDllsFromSystemFolderOnly() {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC entry = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (!entry)
        return;
    const auto setDefaultDllDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesProc>(reinterpret_cast<void (*)()>(entry));
    setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace

int main(int /*argc*/, char* /*argv*/[], char* /*envp*/[]) {
    LoadDllsFromSystemFolderOnly();
    if (!AfxWinInit(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0)) {
        std::cerr << "Fatal Error: MFC initialization failed." << std::endl;
        return 1;
    }
    CoInitialize(nullptr); // whatever it says, nothing here depends on COM being up
    return RunInstallation();
}
