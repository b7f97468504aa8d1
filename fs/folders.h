// Path services of the run: folder of a path, shell folders, and existence tests.
#ifndef DLLINSTALL_FOLDERS_H
#define DLLINSTALL_FOLDERS_H

#include <afx.h>

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

#endif
