#include "fs/folders.h"
#include "messages/messages.h"

namespace {

// The name the log is written under before it takes its place: beside it, and no longer than
// its own name, so that it fits wherever the log file's path does.
CString TemporaryPathBeside(const CString& path) {
    return GetFolderOfPath(path) + "~InstallLog.tmp";
}

// A log that a killed run left half-written is removed; anything else at that name (a link, a
// folder) is not the tool's to touch, and then no log is written.
bool ClearLeftover(const CString& path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return DeleteFileA(path) != FALSE;
}

bool WriteWhole(HANDLE handle, const CString& text) {
    try {
        CFile file(handle);
        file.Write(static_cast<LPCSTR>(text), static_cast<UINT>(text.GetLength()));
        // On stable storage before it takes the log's name, or a power cut could leave it empty.
        const bool flushed = FlushFileBuffers(handle) != FALSE;
        file.Close();
        return flushed;
    } catch (CFileException* error) {
        error->Delete();
        return false;
    }
}

// Writes the whole text into a file that did not exist before: created new, nothing standing
// at that name (a link to a file elsewhere, say) is ever opened. A file only partly written is
// removed again.
bool WriteNewFile(const CString& path, const CString& text) {
    const HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    if (WriteWhole(handle, text))
        return true;
    DeleteFileA(path);
    return false;
}

} // namespace

void WriteTextFile(CString path, CString text) {
    // The log's path must fit a MAX_PATH buffer, as it did when it was opened by name; Windows'
    // MoveFileExA would take a longer new name, and the builds would part ways there.
    if (path.GetLength() >= MAX_PATH)
        return;
    const CString temporary = TemporaryPathBeside(path);
    if (ClearLeftover(temporary) && WriteNewFile(temporary, text) &&
        !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        DeleteFileA(temporary);
}
