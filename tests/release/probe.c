/* A small program for the release tests under Wine that does, one step per argument, what the
   tool's protections are about, so that the tests can show each protection matters:
     version          load version.dll from the system folder at run time, as the tool does,
                      and read kernel32.dll's version information size with it
     version-by-name  load version.dll by its bare name, the way the tool must not
     shfolder         load SHFolder.dll by its bare name, the way the tool must not
     acp              print the ANSI code page the process runs with
     hold-run-lock    hold the tool's run lock of C:\windows\system32 for three seconds
   It prints "probe" first, so that a run at all is visible. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

typedef DWORD(WINAPI* GetFileVersionInfoSizeAProc)(LPCSTR, LPDWORD);

static DWORD KernelVersionInfoSize(HMODULE library) {
    char kernel[MAX_PATH + 16];
    DWORD handle = 0;
    const UINT length = GetSystemDirectoryA(kernel, MAX_PATH);
    FARPROC entry = GetProcAddress(library, "GetFileVersionInfoSizeA");
    GetFileVersionInfoSizeAProc getSize = (GetFileVersionInfoSizeAProc)(void (*)(void))entry;
    if (length == 0 || length >= MAX_PATH || !getSize)
        return 0;
    strcat(kernel, "\\kernel32.dll");
    return getSize(kernel, &handle);
}

static void ReadVersionInfo(void) {
    HMODULE library = LoadLibraryExA("version.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!library) {
        printf("version missing\n");
        return;
    }
    printf("version %lu\n", (unsigned long)KernelVersionInfoSize(library));
    FreeLibrary(library);
}

static void HoldRunLock(void) {
    HANDLE mutex = CreateMutexA(NULL, TRUE, "Global\\dllinstall:C:/WINDOWS/SYSTEM32");
    printf("run lock %s\n", mutex && GetLastError() != ERROR_ALREADY_EXISTS ? "held" : "taken");
    fflush(stdout);
    Sleep(3000);
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

int main(int argc, char* argv[]) {
    printf("probe\n");
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "version") == 0)
            ReadVersionInfo();
        else if (strcmp(argv[i], "version-by-name") == 0)
            printf("version.dll %s\n", LoadLibraryA("version.dll") ? "loaded" : "missing");
        else if (strcmp(argv[i], "shfolder") == 0)
            printf("shfolder %s\n", LoadLibraryA("SHFolder.dll") ? "loaded" : "missing");
        else if (strcmp(argv[i], "acp") == 0)
            printf("acp %u\n", GetACP());
        else if (strcmp(argv[i], "hold-run-lock") == 0)
            HoldRunLock();
    }
    return 0;
}
