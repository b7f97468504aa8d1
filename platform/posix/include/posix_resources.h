// The string table of the program's resources, on the POSIX build.
//
// On Windows the resource compiler links the STRINGTABLE into the executable; here the
// program links a table under this name instead, and LoadStringA reads it.
#ifndef DLLINSTALL_POSIX_RESOURCES_H
#define DLLINSTALL_POSIX_RESOURCES_H

#include <windows.h>

struct PosixStringResource {
    UINT id;
    const char* text; // in the layer's ANSI code page, UTF-8
};

extern const PosixStringResource g_posixStringTable[];
extern const size_t g_posixStringTableSize;

#endif
