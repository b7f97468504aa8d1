// COM start-up, the one call of it that dllinstall makes.
#ifndef DLLINSTALL_POSIX_OBJBASE_H
#define DLLINSTALL_POSIX_OBJBASE_H

#include <windows.h>

HRESULT CoInitialize(LPVOID pvReserved);

#endif
