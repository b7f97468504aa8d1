#include "fs/folders.h"

#include <shlwapi.h>

int IsFolder(LPCSTR path) {
    return PathIsDirectoryA(path) ? 1 : 0;
}

BOOL FileExists(LPCSTR path) {
    CFileStatus status;
    return CFile::GetStatus(path, status);
}
