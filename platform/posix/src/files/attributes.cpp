// Attribute queries and the shell's path tests.
#include "common/last_error.h"
#include "files/file_info.h"
#include "paths/dos_path.h"

#include <shlwapi.h>

DWORD GetFileAttributesA(LPCSTR lpFileName) {
    posix::HostPath resolved;
    if (!posix::ResolvePath(lpFileName, resolved))
        return INVALID_FILE_ATTRIBUTES;
    if (!resolved.exists) {
        posix::Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return posix::AttributesOf(resolved.folder ? resolved.folder->fd.get() : -1, resolved.name,
                               resolved.st);
}

BOOL PathIsDirectoryA(LPCSTR pszPath) {
    if (!pszPath || !*pszPath)
        return FALSE;
    const DWORD attributes = GetFileAttributesA(pszPath);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    // The shell returns the attribute bit itself, not 1.
    return static_cast<BOOL>(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL PathIsRelativeA(LPCSTR pszPath) {
    // The shell's rule: rooted ("\...") or drive-qualified ("X:...") paths are not relative.
    if (!pszPath || !*pszPath)
        return TRUE;
    if (pszPath[0] == '\\')
        return FALSE;
    return pszPath[1] == ':' ? FALSE : TRUE;
}
