// The modules the layer knows: the executable itself and the built-in "SHFolder.dll" and
// "version.dll".
#ifndef DLLINSTALL_POSIX_MODULES_H
#define DLLINSTALL_POSIX_MODULES_H

#include <windows.h>

namespace posix {

HMODULE ExecutableModule();
bool IsShellFolderModule(HMODULE module);

// How many loads of the built-in modules are not yet freed; tests check it returns to zero.
int LoadedModuleReferences();

} // namespace posix

#endif
