// DLLs of the system folder, loaded at run time from there and nowhere else.
#ifndef DLLINSTALL_SYSTEM_LIBRARY_H
#define DLLINSTALL_SYSTEM_LIBRARY_H

#include <windows.h>

// Loads the named DLL of the system folder; null, with the last error set, when it cannot.
HMODULE LoadSystemLibrary(LPCSTR name);

// The named export of a loaded library as a function of the caller's type; null when missing.
template <typename Function> Function GetLibraryFunction(HMODULE library, LPCSTR name) {
    const FARPROC entry = GetProcAddress(library, name);
    return entry ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry)) : nullptr;
}

#endif
