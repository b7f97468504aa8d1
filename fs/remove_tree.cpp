#include "fs/device_name.h"
#include "fs/folders.h"

#include <shlwapi.h>

namespace {

DWORD ErrorUnless(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : GetLastError();
}

using KeepTest = std::function<bool(const CString&)>;

// Opens an entry itself, never what a link or junction at its name points to. Without
// FILE_SHARE_DELETE nobody can rename or replace the entry while the handle is open.
HANDLE OpenEntry(const CString& path, DWORD access) {
    return CreateFileA(path, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IsSameEntry(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// A folder that is no link or junction: the only kind the walk descends into.
bool IsRealFolder(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Deletes the entry behind a handle opened with DELETE access.
DWORD DeleteThroughHandle(HANDLE entry) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return ErrorUnless(
        SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition));
}

// Deletes the entry at the path through a handle of its own, when it is still the entry that
// was examined; another one put at its name meanwhile stays.
DWORD DeleteEntrySeen(const CString& path, const BY_HANDLE_FILE_INFORMATION& seen) {
    const HANDLE entry = OpenEntry(path, DELETE);
    if (entry == INVALID_HANDLE_VALUE)
        return GetLastError();
    BY_HANDLE_FILE_INFORMATION now;
    DWORD error = ErrorUnless(GetFileInformationByHandle(entry, &now));
    if (error == ERROR_SUCCESS && !IsSameEntry(seen, now))
        error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS)
        error = DeleteThroughHandle(entry);
    CloseHandle(entry);
    return error;
}

DWORD RemovePath(const CString& path, const KeepTest* keep);

bool EndedNormally(DWORD error) {
    return error == ERROR_NO_MORE_FILES;
}

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
            const DWORD error = RemovePath(finder.GetFilePath(), nullptr);
            if (firstError == ERROR_SUCCESS)
                firstError = error;
        }
        if (firstError == ERROR_SUCCESS && !more && !EndedNormally(enumError))
            firstError = enumError;
    }
    finder.Close();
    return firstError == ERROR_SUCCESS && kept ? ERROR_DIR_NOT_EMPTY : firstError;
}

// Empties a folder while a handle holds it in place, then deletes it through a handle that must
// find the same folder. The pin goes first: a handle that may delete needs the sharing the pin
// denies (Wine's listing opens the folder without FILE_SHARE_DELETE).
DWORD RemoveFolder(const CString& path, const KeepTest* keep) {
    const HANDLE pin = OpenEntry(path, 0);
    if (pin == INVALID_HANDLE_VALUE)
        return GetLastError();
    BY_HANDLE_FILE_INFORMATION seen;
    DWORD error = ErrorUnless(GetFileInformationByHandle(pin, &seen));
    if (error == ERROR_SUCCESS && IsRealFolder(seen))
        error = RemoveContent(path, keep);
    CloseHandle(pin);
    return error == ERROR_SUCCESS ? DeleteEntrySeen(path, seen) : error;
}

// Removes the entry at the path: a file or a link as itself, through the one handle that
// examined it (what a link points to lies outside the tree); a folder once its content is gone.
DWORD RemovePath(const CString& path, const KeepTest* keep) {
    const HANDLE entry = OpenEntry(path, DELETE);
    if (entry == INVALID_HANDLE_VALUE)
        return GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    DWORD error = ErrorUnless(GetFileInformationByHandle(entry, &info));
    const bool folder = error == ERROR_SUCCESS && IsRealFolder(info);
    if (error == ERROR_SUCCESS && !folder)
        error = DeleteThroughHandle(entry);
    CloseHandle(entry);
    return folder ? RemoveFolder(path, keep) : error;
}

DWORD RemoveTree(const CString& path, const KeepTest* keep) {
    if (path.IsEmpty() || !PathIsDirectoryA(path) || PathIsRelativeA(path))
        return ERROR_SUCCESS;
    return RemovePath(path, keep);
}

} // namespace

DWORD RemoveFolderTree(CString path) {
    return RemoveTree(path, nullptr);
}

DWORD RemoveFolderTreeExcept(CString path, const std::function<bool(const CString&)>& keep) {
    return RemoveTree(path, &keep);
}
