#include "fs/device_name.h"
#include "fs/folders.h"

#include <shlwapi.h>

namespace {

DWORD ErrorUnless(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : GetLastError();
}

// A link is removed as a link: what it points to lies outside the tree.
DWORD RemoveEntry(const CFileFind& finder) {
    const CString path = finder.GetFilePath();
    if (finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY)) {
        if (finder.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT))
            return ErrorUnless(RemoveDirectoryA(path));
        return RemoveFolderTree(path);
    }
    return ErrorUnless(DeleteFileA(path));
}

bool EndedNormally(DWORD error) {
    return error == ERROR_NO_MORE_FILES;
}

using KeepTest = std::function<bool(const CString&)>;

// Deletes the folder's content, keeping the files that `keep` (when given) accepts; returns the
// first error met, ERROR_DIR_NOT_EMPTY for a file kept.
DWORD RemoveContent(const CString& path, const KeepTest* keep) {
    DWORD firstError = ERROR_SUCCESS;
    CFileFind finder;
    if (!finder.FindFile(path + "\\*.*"))
        return GetLastError();
    bool kept = false;
    for (BOOL more = TRUE; more;) {
        more = finder.FindNextFile();
        // An enumeration cut short by an error has left entries unseen: the folder must stay.
        const DWORD enumError = more ? ERROR_SUCCESS : GetLastError();
        if (keep && !finder.IsDots() && !finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY) &&
            (*keep)(finder.GetFileName())) {
            kept = true;
        } else if (!finder.IsDots() && !IsDeviceName(finder.GetFileName())) {
            // A device name is no file: it stays, and so does its folder, never opened.
            const DWORD error = RemoveEntry(finder);
            if (firstError == ERROR_SUCCESS)
                firstError = error;
        }
        if (firstError == ERROR_SUCCESS && !more && !EndedNormally(enumError))
            firstError = enumError;
    }
    finder.Close();
    return firstError == ERROR_SUCCESS && kept ? ERROR_DIR_NOT_EMPTY : firstError;
}

DWORD RemoveTree(const CString& path, const KeepTest* keep) {
    if (path.IsEmpty() || !PathIsDirectoryA(path) || PathIsRelativeA(path))
        return ERROR_SUCCESS;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return ErrorUnless(RemoveDirectoryA(path));
    DWORD firstError = RemoveContent(path, keep);
    if (firstError == ERROR_SUCCESS && !RemoveDirectoryA(path))
        firstError = GetLastError();
    return firstError;
}

} // namespace

DWORD RemoveFolderTree(CString path) {
    return RemoveTree(path, nullptr);
}

DWORD RemoveFolderTreeExcept(CString path, const std::function<bool(const CString&)>& keep) {
    return RemoveTree(path, &keep);
}
