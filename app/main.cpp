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

// A console shows the bytes written to it in its output code page, the OEM one unless changed,
// while the tool writes in its ANSI code page (UTF-8 wherever Windows honours the manifest), so
// for the run the console is switched to that. Gives the code page to put back at exit, or 0
// when there is no console or nothing was changed.
UINT ShowConsoleOutputInAnsiCodePage() {
    const UINT console = GetConsoleOutputCP();
    const UINT ansi = GetACP();
    if (console == 0 || console == ansi || !SetConsoleOutputCP(ansi))
        return 0;
    return console;
}

// The console is shared with whoever started the tool, so it gets its code page back.
void RestoreConsoleOutputCodePage(UINT codePage) {
    if (codePage != 0)
        SetConsoleOutputCP(codePage);
}

int InitializeAndRun() {
    if (!AfxWinInit(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0)) {
        std::cerr << "Fatal Error: MFC initialization failed." << std::endl;
        return 1;
    }
    CoInitialize(nullptr); // whatever it says, nothing here depends on COM being up
    return RunInstallation();
}

} // namespace

int main(int /*argc*/, char* /*argv*/[], char* /*envp*/[]) {
    LoadDllsFromSystemFolderOnly();
    const UINT consoleCodePage = ShowConsoleOutputInAnsiCodePage();
    const int status = InitializeAndRun();
    RestoreConsoleOutputCodePage(consoleCodePage);
    return status;
}
