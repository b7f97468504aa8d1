// Handles of an entry itself (FILE_FLAG_BACKUP_SEMANTICS without data access): a file, a folder
// or, with FILE_FLAG_OPEN_REPARSE_POINT, a link, opened to read its attributes and to remove it
// through the handle, so that a removal acts on the very entry that was checked.
#ifndef DLLINSTALL_POSIX_ENTRY_HANDLE_H
#define DLLINSTALL_POSIX_ENTRY_HANDLE_H

#include <windows.h>

namespace posix {

// True when CreateFileA asks for an entry itself rather than for its data.
bool OpensEntryItself(DWORD access, DWORD flagsAndAttributes);

// CreateFileA of an entry itself; only OPEN_EXISTING.
HANDLE OpenEntry(LPCSTR path, DWORD access, DWORD flagsAndAttributes, DWORD disposition);

} // namespace posix

#endif
