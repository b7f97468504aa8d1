/* A small program for the release tests under Wine that does, one step per argument, what the
   tool's protections are about, so that the tests can show each protection matters:
     restrict  confine DLL loads to the system folder, as the tool does first
     version   call GetFileVersionInfoSizeA, delay-loaded from version.dll as in the tool
     shfolder  load SHFolder.dll by its bare name, the way the tool must not
     acp       print the ANSI code page the process runs with
   It prints "probe" first, so that a run at all is visible. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD);

static void RestrictDllSearch(void) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC entry = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : NULL;
    SetDefaultDllDirectoriesProc restrictSearch =
        (SetDefaultDllDirectoriesProc)(void (*)(void))entry;
    printf("restrict %s\n",
           restrictSearch && restrictSearch(LOAD_LIBRARY_SEARCH_SYSTEM32) ? "done" : "unavailable");
}

static void ReadVersionInfo(void) {
    char kernel[MAX_PATH + 16];
    DWORD handle = 0;
    const UINT length = GetSystemDirectoryA(kernel, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    strcat(kernel, "\\kernel32.dll");
    printf("version %lu\n", (unsigned long)GetFileVersionInfoSizeA(kernel, &handle));
}

int main(int argc, char* argv[]) {
    printf("probe\n");
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "restrict") == 0)
            RestrictDllSearch();
        else if (strcmp(argv[i], "version") == 0)
            ReadVersionInfo();
        else if (strcmp(argv[i], "shfolder") == 0)
            printf("shfolder %s\n", LoadLibraryA("SHFolder.dll") ? "loaded" : "missing");
        else if (strcmp(argv[i], "acp") == 0)
            printf("acp %u\n", GetACP());
    }
    return 0;
}
