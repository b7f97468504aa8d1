// Path services of the run: folder of a path, shell folders, and existence tests.
#ifndef DLLINSTALL_FOLDERS_H
#define DLLINSTALL_FOLDERS_H

#include <afx.h>

#include <functional>

// The path up to and including its last "\"; empty when it has none.
CString GetFolderOfPath(CString path);

// The shell folder of a CSIDL value, as the shell gives it; empty when it cannot be had.
CString GetShellFolderPath(int csidl);

// 1 when the path is an existing folder, else 0.
int IsFolder(LPCSTR path);

// True when the path names an existing file or folder.
BOOL FileExists(LPCSTR path);

// True when the error says that a file could not be read (access, sharing, I/O, resources),
// as opposed to its being absent or lacking what was looked for.
bool IsReadFailure(DWORD error);

// Deletes the folder with everything in it, best effort; returns the first Windows error met,
// 0 on success. Empty, relative and non-folder paths are left alone and give 0.
DWORD RemoveFolderTree(CString path);

// Deletes the folder as RemoveFolderTree does, but keeps the files directly in it whose names
// `keep` accepts; with any of them kept the folder stays, and the result is ERROR_DIR_NOT_EMPTY.
DWORD RemoveFolderTreeExcept(CString path, const std::function<bool(const CString&)>& keep);

// Puts everything written to the volume that holds the folder on stable storage, in one call
// for all the copies of a phase; false when the system cannot flush the volume.
bool FlushVolumeOf(const CString& folder);

// Puts one file on stable storage through a handle of its own; false when it cannot be opened
// for writing or flushed.
bool FlushFile(const CString& path);

#endif
