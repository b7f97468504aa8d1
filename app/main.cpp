// The entry point of dllinstall.
#include "app/installer.h"

#include <afxwin.h>
#include <iostream>
#include <objbase.h>

CWinApp theApp;

int main(int /*argc*/, char* /*argv*/[], char* /*envp*/[]) {
    if (!AfxWinInit(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0)) {
        std::cerr << "Fatal Error: MFC initialization failed." << std::endl;
        return 1;
    }
    CoInitialize(nullptr); // whatever it says, nothing here depends on COM being up
    return RunInstallation();
}
