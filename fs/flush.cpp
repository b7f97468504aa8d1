#include "fs/folders.h"

bool FlushVolumeOf(const CString& folder) {
    LPCSTR text = folder;
    if (folder.GetLength() < 2 || text[1] != ':')
        return false;
    // Windows flushes a volume only for an administrator, which the tool runs as.
    const HANDLE volume =
        CreateFileA("\\\\.\\" + folder.Left(2), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        return false;
    const BOOL flushed = FlushFileBuffers(volume);
    CloseHandle(volume);
    return flushed != FALSE;
}

bool FlushFile(const CString& path) {
    const HANDLE file =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const BOOL flushed = FlushFileBuffers(file);
    CloseHandle(file);
    return flushed != FALSE;
}
